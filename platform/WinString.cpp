#include "platform/WinString.h"

#include <cwctype>

int _wcsicmp(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    wint_t ca = std::towlower(static_cast<wint_t>(*a));
    wint_t cb = std::towlower(static_cast<wint_t>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}
