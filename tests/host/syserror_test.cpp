#include "host/syserror.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

#include "host/hostsignal.h"

namespace {

std::string errText(int number, size_t size = 512) {
  HostErrSType err;
  err.theErrno = number;
  char buffer[512];
  HostGetErrMsg(&err, buffer, size);
  return buffer;
}

TEST(HostGetErrMsg, NumberPrefixDirectlyFollowedByTheEntry) {
  EXPECT_EQ(errText(0), "");
  EXPECT_EQ(errText(ENOENT), "errno=2,ENOENT, The file or directory specified cannot be found");
  EXPECT_EQ(errText(EACCES), "errno=13,EACCES, Authorization failure (permission denied)");
  EXPECT_EQ(errText(EEXIST), "errno=17,EEXIST, The file already exists");
  EXPECT_EQ(errText(ENOSPC),
            "errno=28,ENOSPC, There is no space left on the device (or, in fcntl(), there are no more record locks)");
  // Linux numbers, not another platform's: EIDRM is 43 here and EDQUOT 122.
  EXPECT_EQ(errText(EIDRM),
            "errno=43,EIDRM, Identifier removed (resource such as semaphore or shared memory has been deleted)");
  EXPECT_EQ(errText(EDQUOT), "errno=122,EDQUOT, Disk quota exceeded");
  EXPECT_EQ(errText(ERESTART), "errno=85,ERESTART, Restartable system call");
}

TEST(HostGetErrMsg, AliasesShareOneEntryAndEveryNameHasItsOwnNumber) {
  EXPECT_EQ(errText(EDEADLOCK), errText(EDEADLK));
  EXPECT_EQ(errText(ENOTSUP), errText(EOPNOTSUPP));
  // Each entry's name is the name of its own number: a table keyed by name with
  // a wrong number would give a different name here.
  struct {
    int number;
    const char* name;
  } samples[] = {{EPERM, "EPERM"},       {EAGAIN, "EAGAIN"},     {ENAMETOOLONG, "ENAMETOOLONG"},
                 {ELOOP, "ELOOP"},       {ENOSYS, "ENOSYS"},     {EOVERFLOW, "EOVERFLOW"},
                 {ETIMEDOUT, "ETIMEDOUT"}, {ESTALE, "ESTALE"}, {ECONNREFUSED, "ECONNREFUSED"}};
  for (auto& s : samples) {
    std::string expected = "errno=" + std::to_string(s.number) + "," + s.name + ", ";
    EXPECT_EQ(errText(s.number).rfind(expected, 0), 0u) << errText(s.number);
  }
}

TEST(HostGetErrMsg, UnknownNumberFallsBackAndTextIsCut) {
  testing::internal::CaptureStderr();
  std::string text = errText(EHWPOISON);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unixerr: no string for " + std::to_string(EHWPOISON) + "\n");
  EXPECT_EQ(text.rfind("errno=" + std::to_string(EHWPOISON) + ",", 0), 0u);
  EXPECT_GT(text.size(), 12u);
  EXPECT_EQ(errText(ENOENT, 12), "errno=2,ENO");
}

TEST(SysErrorSType, ErrNumFlagsSayInterruptedWouldBlockOrRealError) {
  SysErrorSType err;
  EXPECT_EQ(err.errFlags, 0);
  EXPECT_EQ(err.errMsg[0], '\0');
  EXPECT_FALSE(err.setErrNum(EINTR));
  EXPECT_EQ(err.errNum(), EINTR);
  EXPECT_EQ(err.errFlags & 0xffffffff, 1);
  EXPECT_FALSE(err.setErrNum(EAGAIN));
  EXPECT_EQ(err.errFlags & 0xffffffff, 2);
  EXPECT_TRUE(err.setErr(ENOENT));
  EXPECT_EQ(err.errNum(), ENOENT);
  EXPECT_EQ(err.errFlags & 0xffffffff, 0);
  EXPECT_NE(err.errCode, SYS_ERR_NONE);
  err.setErr(-1);
  EXPECT_EQ(err.errCode, SYS_ERR_NONE);
  EXPECT_EQ(err.errNum(), -1);
}

TEST(SysErrorSType, FinishMsgNamesTheOperationAndTheError) {
  SysErrorSType err;
  snprintf(err.errMsg, sizeof err.errMsg, "open(/var/tally.out)");
  err.setErr(EACCES);
  err.finishMsg();
  EXPECT_STREQ(err.errMsg,
               "open(/var/tally.out) failed with errno=13,EACCES, Authorization failure (permission denied)");

  SysErrorSType none;
  snprintf(none.errMsg, sizeof none.errMsg, "read");
  none.finishMsg();  // no error code: the text stays
  EXPECT_STREQ(none.errMsg, "read");

  SysErrorSType longName;
  memset(longName.errMsg, 'x', sizeof longName.errMsg - 1);
  longName.errMsg[sizeof longName.errMsg - 1] = '\0';
  longName.setErr(EIO);
  longName.finishMsg();
  EXPECT_EQ(strlen(longName.errMsg), sizeof longName.errMsg - 1);
}

TEST(SysErrorSTypeDeath, InterruptedAfterATerminationSignalIsFlaggedFive) {
  EXPECT_EXIT(
      {
        HostIncrementSigTerm();
        SysErrorSType err;
        err.setErrNum(EINTR);
        _exit((int)(err.errFlags & 0xffffffff));
      },
      ::testing::ExitedWithCode(5), "");
}

}  // namespace
