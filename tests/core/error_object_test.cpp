// Error objects and DescribeError.
#include "core/error_object.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

using tb::ErrorObject;
using tb::IError;
using tbtest::ReleaseLast;

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(error_object_test, interface_table_and_counting) {
  ErrorObject* error = ErrorObject::FromCode(tb::result::BadFormat);
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(error->GetMessage(), "");
  EXPECT_EQ(error->GetCode(), tb::result::BadFormat);
  EXPECT_EQ(error->GetSystemError(), 0u);

  void* out = nullptr;
  EXPECT_EQ(error->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<IError*>(error));
  EXPECT_EQ(error->QueryInterface(tb::iid_of<IError>(), &out), S_OK);
  EXPECT_EQ(error->Release(), 2u);
  EXPECT_EQ(error->Release(), 1u);
  // The library's own errors never carry a verdict.
  out = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(error->QueryInterface(tb::iid_of<tb::IErrorVerdict>(), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(error->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_TRUE(ReleaseLast(error));
}

TEST(error_object_test, describe_names_a_result_code_in_a_new_object) {
  ErrorObject* error = ErrorObject::FromCode(tb::result::BadPathName);
  IError* described = nullptr;
  ASSERT_TRUE(tb::DescribeError(error, &described));
  ASSERT_NE(described, nullptr);
  EXPECT_NE(described, error);
  EXPECT_STREQ(described->GetMessage(), "BadPathName");
  EXPECT_EQ(described->GetCode(), 0u);
  EXPECT_TRUE(ReleaseLast(described));
  EXPECT_TRUE(ReleaseLast(error));

  error = ErrorObject::FromCode(tb::result::WrongCall);
  ASSERT_TRUE(tb::DescribeError(error, &described));
  EXPECT_STREQ(described->GetMessage(), "WrongCall");
  EXPECT_TRUE(ReleaseLast(described));
  EXPECT_TRUE(ReleaseLast(error));

  error = ErrorObject::FromCode(tb::result::EndOfFile);
  ASSERT_TRUE(tb::DescribeError(error, &described));
  EXPECT_STREQ(described->GetMessage(), "EOF");
  EXPECT_TRUE(ReleaseLast(described));
  EXPECT_TRUE(ReleaseLast(error));
}

TEST(error_object_test, describe_refuses_codes_without_a_name) {
  for (uint32_t code : {0x8000000Au, 0x7u, 0x80000015u}) {
    ErrorObject* error = ErrorObject::FromCode(code);
    IError* described = reinterpret_cast<IError*>(0x1);
    EXPECT_FALSE(tb::DescribeError(error, &described)) << std::hex << code;
    EXPECT_EQ(described, reinterpret_cast<IError*>(0x1));
    EXPECT_TRUE(ReleaseLast(error));
  }
}

TEST(error_object_test, describe_returns_an_object_with_a_message_itself) {
  ErrorObject* error = ErrorObject::FromMessage("disc tray is open");
  IError* described = nullptr;
  ASSERT_TRUE(tb::DescribeError(error, &described));
  EXPECT_EQ(described, error);
  EXPECT_EQ(described->Release(), 1u);
  EXPECT_TRUE(ReleaseLast(error));
}

TEST(error_object_test, describe_uses_the_platform_text_for_system_errors) {
  ErrorObject* error = ErrorObject::FromSystemError(2);
  IError* described = nullptr;
  ASSERT_TRUE(tb::DescribeError(error, &described));
  std::string text = described->GetMessage();
  char* platform = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, 2, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&platform), 0,
      nullptr);
  ASSERT_NE(platform, nullptr);
  // The platform's text goes in unchanged, line break included.
  EXPECT_EQ(text.rfind(platform, 0), 0u) << text;
  LocalFree(platform);
  EXPECT_TRUE(EndsWith(text, "\n (error # 2)")) << text;
  EXPECT_TRUE(ReleaseLast(described));
  EXPECT_TRUE(ReleaseLast(error));

  error = ErrorObject::FromSystemError(255);
  ASSERT_TRUE(tb::DescribeError(error, &described));
  text = described->GetMessage();
  EXPECT_TRUE(EndsWith(text, " (error # ff)")) << text;
  EXPECT_TRUE(ReleaseLast(described));
  EXPECT_TRUE(ReleaseLast(error));
}

TEST(error_object_test, describe_has_a_text_when_the_platform_has_none) {
  ErrorObject* error = ErrorObject::FromSystemError(0x2BADBEEF);
  IError* described = nullptr;
  ASSERT_TRUE(tb::DescribeError(error, &described));
  EXPECT_STREQ(described->GetMessage(), "Unknown system error (error # 2badbeef)");
  EXPECT_TRUE(ReleaseLast(described));
  EXPECT_TRUE(ReleaseLast(error));
}

TEST(error_object_test, describe_with_null_arguments_is_false) {
  ErrorObject* error = ErrorObject::FromCode(tb::result::Failure);
  IError* described = nullptr;
  EXPECT_FALSE(tb::DescribeError(nullptr, &described));
  EXPECT_FALSE(tb::DescribeError(error, nullptr));
  EXPECT_TRUE(ReleaseLast(error));
}

}  // namespace
