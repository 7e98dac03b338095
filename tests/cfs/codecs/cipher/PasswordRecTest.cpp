// Password records: building, checking, length limits and the stored question fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cfs/codecs/cipher/CFSChecksum.h"
#include "cfs/codecs/cipher/CFSCipher.h"
#include "platform/Exception.h"
#include "tests/support/Bytes.h"
#include "tests/support/Exceptions.h"

namespace {

// Offsets 32..63 and 68..171: the question, the password copy and its check value.
bool QuestionFieldsZero(const TCFSPasswordRec& rec) {
  for (std::size_t i = 32; i < rec.size(); ++i) {
    if ((i < 64 || i >= 68) && rec[i] != 0) return false;
  }
  return true;
}

std::string RaisedMessage(std::string_view password, std::string_view question, std::string_view answer) {
  TCFSPasswordRec rec{};
  return testsupport::ErrorOf([&] { MakePasswordRec(rec, password, question, answer); });
}

TEST(PasswordRec, RightPasswordGivesTheSameKeyWrongOneIsRefused) {
  TCFSPasswordRec rec{};
  MakePasswordRec(rec, "secret", "", "");
  std::string key1, key2;
  ASSERT_TRUE(CheckPasswordRec(rec, "secret", key1));
  ASSERT_TRUE(CheckPasswordRec(rec, "secret", key2));
  EXPECT_EQ(key1, key2);
  ASSERT_EQ(key1.size(), kPageKeyLength);
  EXPECT_EQ(key1[32], '\0');
  EXPECT_EQ(Checksum(key1.data(), 32, kChecksumCrc16), testsupport::U32(rec, 64));
  EXPECT_TRUE(QuestionFieldsZero(rec)) << "no question and answer: the rest stays zero";

  // The check value is 16 bits wide, so a wrong password passes with odds of 1 in 65536; these
  // fixed records and passwords are far from that.
  std::string wrong;
  EXPECT_FALSE(CheckPasswordRec(rec, "Secret", wrong));
  EXPECT_FALSE(CheckPasswordRec(rec, "secret ", wrong));
  EXPECT_NE(wrong, key1);

  // Empty password: false and the key left as it was.
  std::string untouched = "keep";
  EXPECT_FALSE(CheckPasswordRec(rec, "", untouched));
  EXPECT_EQ(untouched, "keep");

  // Every record draws a new master key.
  TCFSPasswordRec other{};
  MakePasswordRec(other, "secret", "", "");
  std::string key3;
  ASSERT_TRUE(CheckPasswordRec(other, "secret", key3));
  EXPECT_NE(key3, key1);
}

TEST(PasswordRec, LengthLimits) {
  const std::string pw32(32, 'p'), q100(100, 'q');
  TCFSPasswordRec rec{};
  EXPECT_NO_THROW(MakePasswordRec(rec, pw32, q100, "answer"));
  std::string key;
  EXPECT_TRUE(CheckPasswordRec(rec, pw32, key));
  EXPECT_EQ(RaisedMessage(pw32 + "p", "", ""), "Password length should be shorter then 32");
  EXPECT_EQ(RaisedMessage("pw", q100 + "q", "answer"), "Question length should be shorter then 100");
}

TEST(PasswordRec, QuestionAndAnswerFields) {
  const std::string question = "\xC4\xE3\xB5\xC4\xC3\xFB\xD7\xD6?";  // a CP936 question
  TCFSPasswordRec rec{};
  MakePasswordRec(rec, "pass", question, "answer");

  std::uint8_t text[100];
  TCipherAES cipher;
  cipher.InitKey("Kq7:W.>%&Zr~318hp");
  cipher.DecodeBuffer(rec.data() + 72, text, sizeof text);
  std::uint8_t expectedText[100] = {};
  std::memcpy(expectedText, question.data(), question.size());
  EXPECT_EQ(0, std::memcmp(text, expectedText, sizeof text));

  std::uint8_t copy[32];
  cipher.InitKey("answer");
  cipher.DecodeBuffer(rec.data() + 32, copy, sizeof copy);
  std::uint8_t expectedCopy[32] = {'p', 'a', 's', 's'};
  EXPECT_EQ(0, std::memcmp(copy, expectedCopy, sizeof copy));
  EXPECT_EQ(testsupport::U32(rec, 68), Checksum(expectedCopy, sizeof expectedCopy, kChecksumCrc16));

  std::string key;
  EXPECT_TRUE(CheckPasswordRec(rec, "pass", key));

  // A question without an answer (or the reverse) stores neither.
  MakePasswordRec(rec, "pass", question, "");
  EXPECT_TRUE(QuestionFieldsZero(rec));
  MakePasswordRec(rec, "pass", "", "answer");
  EXPECT_TRUE(QuestionFieldsZero(rec));
}

}  // namespace
