#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "base/last_error.h"
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
  ObnFile* out = CreateObn(path.c_str(), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(out, nullptr);
  EXPECT_GE(out->bufferSize, kObnStreamBufferSize);
  ASSERT_EQ(CloseObn(out), 0);
  // The int16 of the run-time area (offset 172) holds what the caller asked for.
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 202u);
  int16_t recorded;
  std::memcpy(&recorded, bytes.data() + 172, sizeof recorded);
  EXPECT_EQ(recorded, 2048);

  ObnFile* in = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(in, nullptr);
  EXPECT_GE(in->bufferSize, kObnStreamBufferSize);
  CloseObn(in);
  // Asking for no buffer leaves the stream's own buffering.
  in = OpenObnForRead(path.c_str(), 0);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->buffer, nullptr);
  CloseObn(in);
}

TEST(ObnWriter, SizeFieldsAreStampedInCallerMemory) {
  ScratchDir dir;
  ObnFile* file = CreateObn(dir.File("s.obn").c_str(), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(file, nullptr);
  TestEpoch epoch = MakeEpoch(5, 2);
  epoch.position.size = 0;
  epoch.measurements[1].size = 99;
  EXPECT_EQ(WriteObnEpoch(file, &epoch.position, epoch.measurements.data()), 0);
  EXPECT_EQ(+epoch.position.size, 68);
  EXPECT_EQ(+epoch.measurements[1].size, 44);
  EXPECT_EQ(CloseObn(file), 0);
}

TEST(ObnWriter, FourteenMeasurementsFromSixteenChannelFileAreRefusedByTwelveChannelOutput) {
  ScratchDir dir;
  const std::string input = dir.File("wide.obn");
  WriteFile(input, RawHeader(202, 16) + RawEpoch(MakeEpoch(1234.5, 14)));
  ObnFile* in = OpenObnForRead(input.c_str(), kObnBufferSize);
  ASSERT_NE(in, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  ASSERT_EQ(ReadObnEpoch(in, &position, measurements), 0);
  EXPECT_EQ(+position.count, 14);

  const std::string output = dir.File("out.obn");
  ObnFile* out = CreateObn(output.c_str(), 0, 1.0f, kObnBufferSize, kObnWriterChannels);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(WriteObnEpoch(out, &position, measurements), 1);
  EXPECT_EQ(std::string(LastErrorText),
            "Error: Epoch 1234.5 has 14 measurements 12 channels in " + output);
  CloseObn(out);
  CloseObn(in);
  EXPECT_EQ(ReadFile(output).size(), 202u);  // nothing of the epoch was written
}

TEST(ObnWriter, NegativeCountIsRefused) {
  ScratchDir dir;
  ObnFile* out = CreateObn(dir.File("n.obn").c_str(), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(out, nullptr);
  TestEpoch epoch = MakeEpoch(10, 0);
  epoch.position.count = -3;
  EXPECT_EQ(WriteObnEpoch(out, &epoch.position, nullptr), 1);
  EXPECT_EQ(CloseObn(out), 0);
}

TEST(ObnWriter, DiskFullIsReportedByWriteAndByClose) {
  if (!testing::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // Small enough to stay in the stream buffer: only the flush at close fails.
  ObnFile* file = CreateObn("/dev/full", 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(file, nullptr);
  TestEpoch epoch = MakeEpoch(30, 2);
  ASSERT_EQ(WriteObnEpoch(file, &epoch.position, epoch.measurements.data()), 0);
  EXPECT_EQ(CloseObn(file), 1);
  EXPECT_STREQ(LastErrorText, "Error: Unable to write to /dev/full (disk full)");

  // More than the stream buffer holds: a write itself fails.
  file = CreateObn("/dev/full", 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(file, nullptr);
  int result = 0;
  double time = 0;
  const int epochsBeyondBuffer = kObnStreamBufferSize / (68 + 12 * 44) + 2;
  for (int i = 0; i < epochsBeyondBuffer && result == 0; ++i) {
    epoch = MakeEpoch(time = i, 12);
    result = WriteObnEpoch(file, &epoch.position, epoch.measurements.data());
  }
  EXPECT_EQ(result, 1);
  char expected[128];
  std::snprintf(expected, sizeof expected,
                "Error: Unable to write to /dev/full (disk full). Epoch %.1f", time);
  EXPECT_STREQ(LastErrorText, expected);
  CloseObn(file);
  // A failed file is removed, but never a device named as the output.
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST(ObnWriter, UnwritablePathFails) {
  ScratchDir dir;
  const std::string path = dir.File("no/such/dir.obn");
  EXPECT_EQ(CreateObn(path.c_str(), 0, 1.0f, kObnBufferSize, 12), nullptr);
  EXPECT_EQ(std::string(LastErrorText), "Error: Unable to open " + path + " for writing");
}

TEST(ObnReader, HeaderOnlyFileOpensAndIsAtEndOfFile) {
  ScratchDir dir;
  const std::string path = dir.File("h.obn");
  WriteFile(path, RawHeader());
  ObnFile* file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  EXPECT_STREQ(file->header.fileName, path.c_str());
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), -1);
  EXPECT_STREQ(LastErrorText, "End of file");
  CloseObn(file);
}

TEST(ObnReader, HeaderErrors) {
  ScratchDir dir;
  const std::string bad = dir.File("bad.obn");
  WriteFile(bad, RawHeader(200));  // size field says 200
  EXPECT_EQ(OpenObnForRead(bad.c_str(), kObnBufferSize), nullptr);
  EXPECT_EQ(std::string(LastErrorText),
            "Error: Invalid header size in " + bad + "  Size: 200   Hsize: 202");

  WriteFile(bad, RawHeader(-2));  // the stored size is shown signed
  EXPECT_EQ(OpenObnForRead(bad.c_str(), kObnBufferSize), nullptr);
  EXPECT_NE(std::string(LastErrorText).find("Size: -2 "), std::string::npos);

  const std::string shortFile = dir.File("short.obn");
  WriteFile(shortFile, RawHeader().substr(0, 201));
  EXPECT_EQ(OpenObnForRead(shortFile.c_str(), kObnBufferSize), nullptr);
  EXPECT_EQ(std::string(LastErrorText), "Error: Unable to read header from " + shortFile);

  const std::string missing = dir.File("missing.obn");
  EXPECT_EQ(OpenObnForRead(missing.c_str(), kObnBufferSize), nullptr);
  EXPECT_EQ(std::string(LastErrorText), "Error: File " + missing + " not found");
}

TEST(ObnReader, OtherVersionOpens) {
  ScratchDir dir;
  const std::string path = dir.File("v.obn");
  std::string header = RawHeader();
  const float other = 2.5f;
  std::memcpy(&header[2], &other, 4);  // version
  WriteFile(path, header);
  ObnFile* file = OpenObnForRead(path.c_str(), 0);
  ASSERT_NE(file, nullptr);
  CloseObn(file);
}

TEST(ObnReader, EpochWithoutMeasurementsIsGoodAndSixtyEightBytes) {
  ScratchDir dir;
  const std::string path = dir.File("z.obn");
  ASSERT_TRUE(testing::WriteObnFile(path, {MakeEpoch(15, 0), MakeEpoch(16, 1)}));
  EXPECT_EQ(ReadFile(path).size(), 202u + 68 + 68 + 44);
  ObnFile* file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), 0);
  EXPECT_EQ(+position.count, 0);
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), 0);
  EXPECT_EQ(+position.time, 16.0);
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), -1);
  CloseObn(file);
}

TEST(ObnReader, CutInsidePositionRecordIsEndOfFile) {
  ScratchDir dir;
  const std::string path = dir.File("cut.obn");
  WriteFile(path, RawHeader() + RawEpoch(MakeEpoch(1, 2)) + RawEpoch(MakeEpoch(2, 2)).substr(0, 40));
  ObnFile* file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), 0);
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), -1);
  EXPECT_STREQ(LastErrorText, "End of file");
  CloseObn(file);
}

TEST(ObnReader, CutInsideMeasurementsIsPrematureEndNamingTheEpoch) {
  ScratchDir dir;
  const std::string path = dir.File("cut.obn");
  WriteFile(path, RawHeader() + RawEpoch(MakeEpoch(86399.25, 5)).substr(0, 68 + 2 * 44 + 10));
  ObnFile* file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), 1);
  EXPECT_EQ(std::string(LastErrorText),
            "Error: Pre-mature end of file in " + path + " at epoch 86399.2");
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), -1);
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
  ObnFile* file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  ObnPositionRecord position;
  ObnMeasurementRecord measurements[kObnReaderRoom];
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), 1);
  EXPECT_EQ(std::string(LastErrorText), "Error: Bad position record in " + path);
  CloseObn(file);

  WriteFile(path, RawHeader() + RawEpoch(badMeasurement));
  file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadObnEpoch(file, &position, measurements), 1);
  EXPECT_EQ(std::string(LastErrorText), "Error: Bad measurement record (1) in " + path);
  CloseObn(file);
}

TEST(ObnReader, CountBeyondHeaderOrRoomIsDamagedNeverOverflow) {
  ScratchDir dir;
  const std::string path = dir.File("wide.obn");
  TestEpoch negative = MakeEpoch(3, 0);
  negative.position.count = -128;  // count byte 0x80
  WriteFile(path, RawHeader(202, 40) + RawEpoch(MakeEpoch(1, 30)) + RawEpoch(MakeEpoch(2, 4)) +
                      RawEpoch(negative));
  ObnFile* file = OpenObnForRead(path.c_str(), kObnBufferSize);
  ASSERT_NE(file, nullptr);
  struct {
    ObnMeasurementRecord room[kObnReaderRoom];
    ObnMeasurementRecord guard;
  } memory;
  std::memset(&memory.guard, 0x5A, sizeof memory.guard);
  ObnPositionRecord position;
  // 30 records fit the header's 40 channels but not the room of 24.
  EXPECT_EQ(ReadObnEpoch(file, &position, memory.room, kObnReaderRoom), 1);
  EXPECT_EQ(std::string(LastErrorText),
            "Error: Epoch 1.0 has 30 measurements 24 channels in " + path);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&memory.guard)[0], 0x5A);
  // The excess was skipped: the next epoch reads cleanly.
  EXPECT_EQ(ReadObnEpoch(file, &position, memory.room, kObnReaderRoom), 0);
  EXPECT_EQ(+position.time, 2.0);
  EXPECT_EQ(ReadObnEpoch(file, &position, memory.room, kObnReaderRoom), 1);
  EXPECT_EQ(std::string(LastErrorText),
            "Error: Epoch 3.0 has -128 measurements 40 channels in " + path);
  CloseObn(file);
}

TEST(ObnCopy, CopiesEveryEpochUnchanged) {
  ScratchDir dir;
  const std::string input = dir.File("in.obn");
  std::vector<TestEpoch> epochs = {MakeEpoch(1, 12), MakeEpoch(2, 0), MakeEpoch(3, 7)};
  ASSERT_TRUE(testing::WriteObnFile(input, epochs));
  ObnFile* in = OpenObnForRead(input.c_str(), kObnBufferSize);
  ObnFile* out = CreateObn(dir.File("out.obn").c_str(), 0, 1.0f, kObnBufferSize, 12);
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  long count = 0;
  EXPECT_EQ(CopyObnEpochs(in, out, &count), 0);
  EXPECT_EQ(count, 3);
  CloseObn(in);
  EXPECT_EQ(CloseObn(out), 0);
  EXPECT_EQ(ReadFile(dir.File("out.obn")).substr(202), ReadFile(input).substr(202));
}

TEST(ObnClose, InvalidHandleIsLeftAlone) {
  ObnFile notOpen{};
  notOpen.header.size = 100;
  EXPECT_EQ(CloseObn(&notOpen), 0);
  EXPECT_EQ(CloseObn(nullptr), 0);
}

}  // namespace
}  // namespace stanvex
