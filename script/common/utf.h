#pragma once
// Conversions between the two text widths of script values: 8-bit text is
// UTF-8, wide text UTF-16.

#include <string>
#include <string_view>

// A byte that starts no valid UTF-8 sequence stands for the code of that
// byte, so no 8-bit text is lost on its way to UTF-16.
std::u16string Utf8ToUtf16(std::string_view text);
// A lone surrogate becomes U+FFFD, which has a UTF-8 form.
std::string Utf16ToUtf8(std::u16string_view text);
