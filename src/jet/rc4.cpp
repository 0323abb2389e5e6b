#include "rc4.h"

#include <utility>

namespace kolta::jet {

void rc4(const unsigned char *key, int keyLength, unsigned char *data, int length)
{
    unsigned char state[256];
    for (int i = 0; i < 256; ++i)
        state[i] = static_cast<unsigned char>(i);
    int j = 0;
    for (int i = 0; i < 256; ++i) {
        j = (j + state[i] + key[i % keyLength]) & 0xff;
        std::swap(state[i], state[j]);
    }
    int i = 0;
    j = 0;
    for (int n = 0; n < length; ++n) {
        i = (i + 1) & 0xff;
        j = (j + state[i]) & 0xff;
        std::swap(state[i], state[j]);
        data[n] ^= state[(state[i] + state[j]) & 0xff];
    }
}

} // namespace kolta::jet
