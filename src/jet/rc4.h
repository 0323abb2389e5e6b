#pragma once

namespace kolta::jet {

// The RC4 stream cipher as Jet applies it to its header and encoded pages;
// applying it twice gives the bytes back.
void rc4(const unsigned char *key, int keyLength, unsigned char *data, int length);

} // namespace kolta::jet
