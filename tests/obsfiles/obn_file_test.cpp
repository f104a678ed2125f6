#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "obn_test_util.h"
#include "test_support.h"

namespace stanvex {
namespace {

using testing::MakeEpoch;
using testing::RawEpoch;
using testing::RawHeader;
using testing::ReadFile;
using testing::ScratchDir;
using testing::TestEpoch;
using testing::WriteFile;

TEST(ObnWriter, WrittenFileHasHeaderThenEachEpochAndCarriedBytesReadBack) {
  ScratchDir dir;
  const std::string path = dir.File("a.obn");
  std::vector<TestEpoch> epochs = {MakeEpoch(30, 3), MakeEpoch(60, 0), MakeEpoch(90, 12)};
  ASSERT_TRUE(testing::WriteObnFile(path, epochs, 30.0f, 7));

  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 202u + (68 + 3 * 44) + 68 + (68 + 12 * 44));
  ObnHeader header;
  std::memcpy(&header, bytes.data(), sizeof header);
  EXPECT_EQ(+header.size, 202);
  uint32_t version;
  std::memcpy(&version, &header.version, 4);
  EXPECT_EQ(version, kObnVersionBits);
  EXPECT_EQ(+header.carriedByte, 7);
  EXPECT_EQ(+header.maxChannels, 12);
  EXPECT_EQ(+header.interval, 30.0f);
  EXPECT_STREQ(header.fileName, path.c_str());
  EXPECT_GE(+header.month, 0);
  EXPECT_LE(+header.month, 11);
  EXPECT_GE(+header.year, 120);
  for (uint8_t b : header.reserved) EXPECT_EQ(b, 0);

  // The epochs in the file are the caller's bytes exactly.
  std::string expected;
  for (const TestEpoch& epoch : epochs) expected += RawEpoch(epoch);
  EXPECT_EQ(bytes.substr(202), expected);
}

TEST(ObnWriter, HeaderRecordsBufferSizeAskedForWhileStreamsGetLargeBuffers) {
  ScratchDir dir;
  const std::string path = dir.File("b.obn");
  ObnFile* out = testing::CreatedObn(path, 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(out, nullptr);
  EXPECT_GE(out->bufferSize, kObnStreamBufferSize);
  ASSERT_TRUE(CloseObn(out).ok);
  // The int16 of the run-time area (offset 172) holds what the caller asked for.
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 202u);
  int16_t recorded;
  std::memcpy(&recorded, bytes.data() + 172, sizeof recorded);
  EXPECT_EQ(recorded, 2048);

  ObnFile* in = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(in, nullptr);
  EXPECT_GE(in->bufferSize, kObnStreamBufferSize);
  CloseObn(in);
  // Asking for no buffer leaves the stream's own buffering.
  in = testing::OpenedObn(path, 0);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->buffer, nullptr);
  CloseObn(in);
}

TEST(ObnWriter, SizeFieldsAreStampedInCallerMemory) {
  ScratchDir dir;
  ObnFile* file = testing::CreatedObn(dir.File("s.obn"), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(file, nullptr);
  TestEpoch epoch = MakeEpoch(5, 2);
  epoch.position.size = 0;
  epoch.measurements[1].size = 99;
  EXPECT_TRUE(WriteObnEpoch(file, &epoch.position, epoch.measurements.data()).ok);
  EXPECT_EQ(+epoch.position.size, 68);
  EXPECT_EQ(+epoch.measurements[1].size, 44);
  EXPECT_TRUE(CloseObn(file).ok);
}

TEST(ObnWriter, FourteenMeasurementsFromSixteenChannelFileAreRefusedByTwelveChannelOutput) {
  ScratchDir dir;
  const std::string input = dir.File("wide.obn");
  WriteFile(input, RawHeader(202, 16) + RawEpoch(MakeEpoch(1234.5, 14)));
  ObnFile* in = testing::OpenedObn(input, kObnBufferSize);
  ASSERT_NE(in, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  ASSERT_TRUE(ReadObnEpoch(in, &position, measurements).ok);
  EXPECT_EQ(+position.count, 14);

  const std::string output = dir.File("out.obn");
  ObnFile* out = testing::CreatedObn(output, 0, 1.0f, kObnBufferSize, kObnWriterChannels);
  ASSERT_NE(out, nullptr);
  Result written = WriteObnEpoch(out, &position, measurements);
  EXPECT_FALSE(written.ok);
  EXPECT_EQ(std::string(written.message),
            "Error: Epoch 1234.5 has 14 measurements 12 channels in " + output);
  CloseObn(out);
  CloseObn(in);
  EXPECT_EQ(ReadFile(output).size(), 202u);  // nothing of the epoch was written
}

TEST(ObnWriter, NegativeCountIsRefused) {
  ScratchDir dir;
  ObnFile* out = testing::CreatedObn(dir.File("n.obn"), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(out, nullptr);
  TestEpoch epoch = MakeEpoch(10, 0);
  epoch.position.count = -3;
  EXPECT_FALSE(WriteObnEpoch(out, &epoch.position, nullptr).ok);
  EXPECT_TRUE(CloseObn(out).ok);
}

TEST(ObnWriter, DiskFullIsReportedByWriteAndByClose) {
  if (!testing::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // Small enough to stay in the stream buffer: only the flush at close fails.
  ObnFile* file = testing::CreatedObn("/dev/full", 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(file, nullptr);
  TestEpoch epoch = MakeEpoch(30, 2);
  ASSERT_TRUE(WriteObnEpoch(file, &epoch.position, epoch.measurements.data()).ok);
  Result closed = CloseObn(file);
  EXPECT_FALSE(closed.ok);
  EXPECT_STREQ(closed.message, "Error: Unable to write to /dev/full (disk full)");

  // More than the stream buffer holds: a write itself fails.
  file = testing::CreatedObn("/dev/full", 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(file, nullptr);
  Result result;
  double time = 0;
  const int epochsBeyondBuffer = kObnStreamBufferSize / (68 + 12 * 44) + 2;
  for (int i = 0; i < epochsBeyondBuffer && result.ok; ++i) {
    epoch = MakeEpoch(time = i, 12);
    result = WriteObnEpoch(file, &epoch.position, epoch.measurements.data());
  }
  EXPECT_FALSE(result.ok);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "Error: Unable to write to /dev/full (disk full). Epoch %.1f", time);
  EXPECT_STREQ(result.message, expected);
  CloseObn(file);
  // A failed file is removed, but never a device named as the output.
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST(ObnWriter, UnwritablePathFails) {
  ScratchDir dir;
  const std::string path = dir.File("no/such/dir.obn");
  Result why;
  EXPECT_EQ(testing::CreatedObn(path, 0, 1.0f, kObnBufferSize, 12, &why), nullptr);
  EXPECT_EQ(std::string(why.message), "Error: Unable to open " + path + " for writing");
}

TEST(ObnReader, HeaderOnlyFileOpensAndIsAtEndOfFile) {
  ScratchDir dir;
  const std::string path = dir.File("h.obn");
  WriteFile(path, RawHeader());
  ObnFile* file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(file->header.fileName, path.c_str());
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  Result end = ReadObnEpoch(file, &position, measurements);
  EXPECT_TRUE(end.AtEnd());
  EXPECT_STREQ(end.message, "End of file");
  CloseObn(file);
}

TEST(ObnReader, HeaderErrors) {
  ScratchDir dir;
  const std::string bad = dir.File("bad.obn");
  WriteFile(bad, RawHeader(200));  // size field says 200
  Result why;
  EXPECT_EQ(testing::OpenedObn(bad, kObnBufferSize, &why), nullptr);
  EXPECT_EQ(std::string(why.message),
            "Error: Invalid header size in " + bad + "  Size: 200   Hsize: 202");

  WriteFile(bad, RawHeader(-2));  // the stored size is shown signed
  EXPECT_EQ(testing::OpenedObn(bad, kObnBufferSize, &why), nullptr);
  EXPECT_NE(std::string(why.message).find("Size: -2 "), std::string::npos);

  const std::string shortFile = dir.File("short.obn");
  WriteFile(shortFile, RawHeader().substr(0, 201));
  EXPECT_EQ(testing::OpenedObn(shortFile, kObnBufferSize, &why), nullptr);
  EXPECT_EQ(std::string(why.message), "Error: Unable to read header from " + shortFile);

  const std::string missing = dir.File("missing.obn");
  EXPECT_EQ(testing::OpenedObn(missing, kObnBufferSize, &why), nullptr);
  EXPECT_EQ(std::string(why.message), "Error: File " + missing + " not found");
}

TEST(ObnReader, OtherVersionOpens) {
  ScratchDir dir;
  const std::string path = dir.File("v.obn");
  std::string header = RawHeader();
  const float other = 2.5f;
  std::memcpy(&header[2], &other, 4);  // version
  WriteFile(path, header);
  ObnFile* file = testing::OpenedObn(path, 0);
  ASSERT_NE(file, nullptr);
  CloseObn(file);
}

TEST(ObnReader, EpochWithoutMeasurementsIsGoodAndSixtyEightBytes) {
  ScratchDir dir;
  const std::string path = dir.File("z.obn");
  ASSERT_TRUE(testing::WriteObnFile(path, {MakeEpoch(15, 0), MakeEpoch(16, 1)}));
  EXPECT_EQ(ReadFile(path).size(), 202u + 68 + 68 + 44);
  ObnFile* file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_TRUE(ReadObnEpoch(file, &position, measurements).ok);
  EXPECT_EQ(+position.count, 0);
  EXPECT_TRUE(ReadObnEpoch(file, &position, measurements).ok);
  EXPECT_EQ(+position.time, 16.0);
  EXPECT_TRUE(ReadObnEpoch(file, &position, measurements).AtEnd());
  CloseObn(file);
}

TEST(ObnReader, CutInsidePositionRecordIsEndOfFile) {
  ScratchDir dir;
  const std::string path = dir.File("cut.obn");
  WriteFile(path, RawHeader() + RawEpoch(MakeEpoch(1, 2)) + RawEpoch(MakeEpoch(2, 2)).substr(0, 40));
  ObnFile* file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_TRUE(ReadObnEpoch(file, &position, measurements).ok);
  Result end = ReadObnEpoch(file, &position, measurements);
  EXPECT_TRUE(end.AtEnd());
  EXPECT_STREQ(end.message, "End of file");
  CloseObn(file);
}

TEST(ObnReader, CutInsideMeasurementsIsPrematureEndNamingTheEpoch) {
  ScratchDir dir;
  const std::string path = dir.File("cut.obn");
  WriteFile(path, RawHeader() + RawEpoch(MakeEpoch(86399.25, 5)).substr(0, 68 + 2 * 44 + 10));
  ObnFile* file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  Result damaged = ReadObnEpoch(file, &position, measurements);
  EXPECT_EQ(damaged.kind, ResultKind::kDamaged);
  EXPECT_EQ(std::string(damaged.message),
            "Error: Pre-mature end of file in " + path + " at epoch 86399.2");
  EXPECT_TRUE(ReadObnEpoch(file, &position, measurements).AtEnd());
  CloseObn(file);
}

TEST(ObnReader, DamagedRecordSizes) {
  ScratchDir dir;
  const std::string path = dir.File("d.obn");
  TestEpoch badPosition = MakeEpoch(1, 1);
  badPosition.position.size = 67;  // position record size
  TestEpoch badMeasurement = MakeEpoch(2, 3);
  badMeasurement.measurements[2].size = 45;  // third measurement record size
  WriteFile(path, RawHeader() + RawEpoch(badPosition) + RawEpoch(badMeasurement));
  ObnFile* file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  Result damaged = ReadObnEpoch(file, &position, measurements);
  EXPECT_EQ(damaged.kind, ResultKind::kDamaged);
  EXPECT_EQ(std::string(damaged.message), "Error: Bad position record in " + path);
  CloseObn(file);

  WriteFile(path, RawHeader() + RawEpoch(badMeasurement));
  file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  damaged = ReadObnEpoch(file, &position, measurements);
  EXPECT_EQ(damaged.kind, ResultKind::kDamaged);
  EXPECT_EQ(std::string(damaged.message), "Error: Bad measurement record (1) in " + path);
  CloseObn(file);
}

TEST(ObnReader, CountBeyondHeaderOrRoomIsDamagedNeverOverflow) {
  ScratchDir dir;
  const std::string path = dir.File("wide.obn");
  TestEpoch negative = MakeEpoch(3, 0);
  negative.position.count = -128;  // count byte 0x80
  WriteFile(path, RawHeader(202, 40) + RawEpoch(MakeEpoch(1, 30)) + RawEpoch(MakeEpoch(2, 4)) +
                      RawEpoch(negative));
  ObnFile* file = testing::OpenedObn(path, kObnBufferSize);
  ASSERT_NE(file, nullptr);
  struct {
    ObnMeasurementRecord room[kObnReaderRoom];
    ObnMeasurementRecord guard;
  } memory;
  std::memset(&memory.guard, 0x5A, sizeof memory.guard);
  ObnPositionRecord position;
  // 30 records fit the header's 40 channels but not the room of 24.
  Result damaged = ReadObnEpoch(file, &position, memory.room, kObnReaderRoom);
  EXPECT_EQ(damaged.kind, ResultKind::kDamaged);
  EXPECT_EQ(std::string(damaged.message),
            "Error: Epoch 1.0 has 30 measurements 24 channels in " + path);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&memory.guard)[0], 0x5A);
  // The excess was skipped: the next epoch reads cleanly.
  EXPECT_TRUE(ReadObnEpoch(file, &position, memory.room, kObnReaderRoom).ok);
  EXPECT_EQ(+position.time, 2.0);
  damaged = ReadObnEpoch(file, &position, memory.room, kObnReaderRoom);
  EXPECT_EQ(damaged.kind, ResultKind::kDamaged);
  EXPECT_EQ(std::string(damaged.message),
            "Error: Epoch 3.0 has -128 measurements 40 channels in " + path);
  CloseObn(file);
}

TEST(ObnCopy, CopiesEveryEpochUnchanged) {
  ScratchDir dir;
  const std::string input = dir.File("in.obn");
  std::vector<TestEpoch> epochs = {MakeEpoch(1, 12), MakeEpoch(2, 0), MakeEpoch(3, 7)};
  ASSERT_TRUE(testing::WriteObnFile(input, epochs));
  ObnFile* in = testing::OpenedObn(input, kObnBufferSize);
  ObnFile* out = testing::CreatedObn(dir.File("out.obn"), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  long count = 0;
  EXPECT_TRUE(CopyObnEpochs(in, out, &count).ok);
  EXPECT_EQ(count, 3);
  CloseObn(in);
  EXPECT_TRUE(CloseObn(out).ok);
  EXPECT_EQ(ReadFile(dir.File("out.obn")).substr(202), ReadFile(input).substr(202));
}

TEST(ObnClose, InvalidHandleIsLeftAlone) {
  ObnFile notOpen{};
  notOpen.header.size = 100;
  EXPECT_TRUE(CloseObn(&notOpen).ok);
  EXPECT_TRUE(CloseObn(nullptr).ok);
}

}  // namespace
}  // namespace stanvex
