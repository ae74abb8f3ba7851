// Forced into every C++ file of the Windows build. The library's prebuilt std::string and std::wstring (every
// member, with their unwind tables, about 100 KB) would otherwise be linked whole; without the extern template
// declarations only the members a program uses are instantiated, and the linker drops the rest.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
