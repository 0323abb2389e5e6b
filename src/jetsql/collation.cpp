#include "sqlfunctions.h"

#include <algorithm>

namespace kolta::jetsql::functions {

int compareJet(void *, int n1, const void *p1, int n2, const void *p2)
{
    const auto *a = static_cast<const unsigned char *>(p1);
    const auto *b = static_cast<const unsigned char *>(p2);
    int n = std::min(n1, n2);
    bool ascii = true;
    for (int i = 0; i < n && ascii; ++i) {
        if ((a[i] | b[i]) & 0x80) {
            ascii = false;
            break;
        }
        int ca = a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i];
        int cb = b[i] >= 'A' && b[i] <= 'Z' ? b[i] + 32 : b[i];
        if (ca != cb)
            return ca - cb;
    }
    if (ascii) {
        bool restAscii = true;
        for (int i = n; i < n1 && restAscii; ++i)
            restAscii = !(a[i] & 0x80);
        for (int i = n; i < n2 && restAscii; ++i)
            restAscii = !(b[i] & 0x80);
        if (restAscii)
            return n1 - n2;
    }
    QString sa = QString::fromUtf8(reinterpret_cast<const char *>(a), n1);
    QString sb = QString::fromUtf8(reinterpret_cast<const char *>(b), n2);
    return sa.compare(sb, Qt::CaseInsensitive);
}

} // namespace kolta::jetsql::functions
