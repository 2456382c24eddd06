#include "host/syserror.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>


namespace {

std::string errText(int number, size_t size = 512) {
  HostErrSType err;
  err.theErrno = number;
  char buffer[512];
  HostGetErrMsg(&err, buffer, size);
  return buffer;
}

// Each entry's name is the name of its own number (Linux numbers: EIDRM is 43
// here and EDQUOT 122): a table keyed by name with a wrong number would give a
// different name here.
TEST(HostGetErrMsg, NumberPrefixDirectlyFollowedByTheEntryOfThatNumber) {
  EXPECT_EQ(errText(0), "");
  EXPECT_EQ(errText(ENOENT), "errno=2,ENOENT, The file or directory specified cannot be found");
  EXPECT_EQ(errText(ENOENT, 12), "errno=2,ENO");  // cut to the buffer
  EXPECT_EQ(errText(EDEADLOCK), errText(EDEADLK));  // aliases share one entry
  EXPECT_EQ(errText(ENOTSUP), errText(EOPNOTSUPP));
  const std::pair<int, const char*> names[] = {{EPERM, "EPERM"},   {EAGAIN, "EAGAIN"}, {ENAMETOOLONG, "ENAMETOOLONG"},
                                               {EIDRM, "EIDRM"},   {EDQUOT, "EDQUOT"}, {ECONNREFUSED, "ECONNREFUSED"},
                                               {ESTALE, "ESTALE"}, {ENOSPC, "ENOSPC"}};
  for (const auto& n : names) {
    const std::string expected = "errno=" + std::to_string(n.first) + "," + n.second + ", ";
    EXPECT_EQ(errText(n.first).rfind(expected, 0), 0u) << errText(n.first);
  }
  testing::internal::CaptureStderr();  // unknown numbers fall back
  const std::string text = errText(EHWPOISON);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unixerr: no string for " + std::to_string(EHWPOISON) + "\n");
  EXPECT_EQ(text.rfind("errno=" + std::to_string(EHWPOISON) + ",", 0), 0u);
}

TEST(SysErrorSType, FinishedMessageNamesTheOperationAndTheError) {
  SysErrorSType err;
  snprintf(err.errMsg, sizeof err.errMsg, "open(/var/tally.out)");
  EXPECT_TRUE(err.setErr(EACCES));
  EXPECT_EQ(err.errNum(), EACCES);
  err.finishMsg();
  EXPECT_STREQ(err.errMsg,
               "open(/var/tally.out) failed with errno=13,EACCES, Authorization failure (permission denied)");

  // (With no error code the text stays as it is: the registry's messages show it.)
  SysErrorSType longName;  // a full text is cut, never overrun
  memset(longName.errMsg, 'x', sizeof longName.errMsg - 1);
  longName.errMsg[sizeof longName.errMsg - 1] = '\0';
  longName.setErr(EIO);
  longName.finishMsg();
  EXPECT_EQ(strlen(longName.errMsg), sizeof longName.errMsg - 1);
}

}  // namespace
