#include "platform/win32/user_dialogs.h"

#include <gtest/gtest.h>

namespace {

// A wide literal with its embedded terminators, without the final one.
template <std::size_t N>
std::wstring List(const wchar_t (&text)[N]) {
  return std::wstring(text, N - 1);
}

TEST(OpenFileFilter, BarsBecomeTerminatorsAndTheListEndsTwice) {
  struct Case {
    std::string filter;
    std::wstring list;
  } cases[] = {
      {"Text Files (*.TXT)|????????_????Z*.txt|", List(L"Text Files (*.TXT)\0????????_????Z*.txt\0\0")},
      {"Radiosonde Files (*.rdisnd)|*.rdisnd|All Files (*.*)|*.*|",
       List(L"Radiosonde Files (*.rdisnd)\0*.rdisnd\0All Files (*.*)\0*.*\0\0")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    EXPECT_EQ(OpenFileFilter(c.filter), c.list);
  }
}

}  // namespace
