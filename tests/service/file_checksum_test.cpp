#include "service/core/file_checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "testing/support/test_support.h"

namespace vornix {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

// The first number that coreutils `sum -s` prints for the file.
long CoreutilsSum(const std::string& path) {
  const std::string command = "sum -s '" + path + "'";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return -1;
  long value = -1;
  if (std::fscanf(p, "%ld", &value) != 1) value = -1;
  pclose(p);
  return value;
}

TEST(FileChecksum, KnownValues) {
  TempDir dir;
  WriteFileBytes(dir / "abc", "abc");
  WriteFileBytes(dir / "empty", "");
  const auto abc = FileChecksum(dir / "abc");
  const auto empty = FileChecksum(dir / "empty");
  ASSERT_TRUE(abc && empty);
  EXPECT_EQ(abc->checksum, 294u);
  EXPECT_EQ(abc->bytes, 3u);
  EXPECT_EQ(empty->checksum, 0u);
  EXPECT_EQ(empty->bytes, 0u);
}

TEST(FileChecksum, ThirtyTwoBitSumWrapsBeforeTheFold) {
  TempDir dir;
  // 16,843,010 bytes of 255 add up to 2^32 + 254.
  WriteFileBytes(dir / "ff", std::string(16843010, '\xff'));
  const auto sum = FileChecksum(dir / "ff");
  ASSERT_TRUE(sum);
  EXPECT_EQ(sum->checksum, 254u);
  EXPECT_EQ(sum->bytes, 16843010u);
  EXPECT_EQ(static_cast<long>(sum->checksum), CoreutilsSum(dir / "ff"));
}

TEST(FileChecksum, AgreesWithCoreutilsSumOnRandomFiles) {
  TempDir dir;
  std::mt19937 random(20261206);
  for (size_t size : {1u, 31u, 32u, 33u, 65535u, 65536u, 65537u, 1048579u, 3000001u}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string path = dir / ("r" + std::to_string(size));
    WriteFileBytes(path, bytes);
    const auto sum = FileChecksum(path);
    ASSERT_TRUE(sum) << size;
    EXPECT_EQ(sum->bytes, size);
    EXPECT_EQ(static_cast<long>(sum->checksum), CoreutilsSum(path)) << size;
  }
}

TEST(FileChecksum, FailsWhenTheFileCannotBeRead) {
  TempDir dir;
  EXPECT_FALSE(FileChecksum(dir / "missing"));
  EXPECT_FALSE(FileChecksum(dir.path()));  // a folder opens but cannot be read
}

TEST(FoldByteSum, FoldsTwice) {
  EXPECT_EQ(FoldByteSum(0), 0u);
  EXPECT_EQ(FoldByteSum(0xffffffffu), 0xffffu);
  EXPECT_EQ(FoldByteSum(0x0001ffffu), 1u);  // 0xffff + 1 carries into a second fold
}

}  // namespace
}  // namespace vornix
