// The run-time trace: off, to a file, and off again.
#include "core/trace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(trace_test, lines_go_to_the_named_file_only_while_it_is_set) {
  tbtest::TempFolder folder;
  const std::string path = folder.path() + "\\trace.txt";
  ASSERT_TRUE(tb::SetTraceDestination(nullptr));
  EXPECT_FALSE(tb::TraceEnabled());
  tb::Trace("before %d\n", 1);

  ASSERT_TRUE(tb::SetTraceDestination(path.c_str()));
  EXPECT_TRUE(tb::TraceEnabled());
  tb::Trace("during %d\n", 2);
  // Appended, and the file is closed when the trace is turned off.
  ASSERT_TRUE(tb::SetTraceDestination(path.c_str()));
  tb::Trace("still %s\n", "on");
  ASSERT_TRUE(tb::SetTraceDestination(""));
  tb::Trace("after\n");
  EXPECT_EQ(ReadAll(path), "tunebay: during 2\ntunebay: still on\n");
  EXPECT_TRUE(DeleteFileA(path.c_str()));

  // A file that cannot be opened leaves the trace off.
  EXPECT_FALSE(tb::SetTraceDestination((folder.path() + "\\no\\such\\folder.txt").c_str()));
  EXPECT_FALSE(tb::TraceEnabled());
}

}  // namespace
