#pragma once
// Text crosses into the Windows API as UTF-16; the program keeps UTF-8 everywhere else.
#include <string>

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
