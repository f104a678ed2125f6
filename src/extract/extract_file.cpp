// ExtractFile: chooses the unpacker by the compression type.
#include "extract/extract_file.h"

#include <cctype>
#include <cstring>

#include "base/status_channel.h"
#include "extract/unzip_library.h"
#include "platform/platform.h"
#include "unz.h"

namespace stanvex {

namespace {

// Lower-cases type in place; false when it has no terminator within the field.
bool LowerCaseType(char* type) {
  const size_t length = strnlen(type, kCompressionTypeSize);
  for (size_t i = 0; i < length; ++i)
    type[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(type[i])));
  return length < kCompressionTypeSize;
}

Result ExtractGzip(StatusChannel& status, const char* input, const char* output) {
  status.Text("GZIP Function Called");
  bool tooLarge = false;
  const Result result = GunzipFile(input, output, kMaxUnpackedSize, &tooLarge);
  if (result.ok) return result;
  if (tooLarge)
    return Result::Failure(nullptr,
                           "Error unzipping the file %s: it unpacks to more than 4 GiB, far more "
                           "than a daily file",
                           input);
  return Result::Failure(nullptr, "Error unzipping the file %s", input);
}

// The failure QvUnZ_Extract reports by throwing code.
Result CompressFailure(int code, const char* input, const char* output) {
  switch (code) {
    case UNZ_INPUT_NOT_OPENED:
      return Result::Failure(ResultKind::kNotFound, "File could not be opened for reading %s",
                             input);
    case UNZ_OUTPUT_NOT_OPENED:
      return Result::Failure(nullptr, "Output file cannot be opened for writing %s", output);
    case UNZ_WRITE_FAILED:
      return Result::Failure(nullptr, "Error writing to the output file %s", output);
    case UNZ_NOT_Z_FILE:
      return Result::Failure(nullptr, "The input file does not appear to be a valid Z File %s",
                             input);
    case UNZ_CORRUPT:
      return Result::Failure(nullptr, "The input file appears to be corrupt %s", input);
    case UNZ_TOO_LARGE:
      return Result::Failure(
          nullptr, "The input file unpacks to more than 4 GiB, far more than a daily file %s",
          input);
    default:
      // An extractor that fails in a way it does not name has still
      // failed: keep the download rather than report success.
      return Result::Failure(nullptr, "Error unzipping the file %s", input);
  }
}

Result ExtractCompress(const char* input, const char* output) {
  try {
    QvUnZ_Extract(input, output);
  } catch (int code) {
    return CompressFailure(code, input, output);
  } catch (...) {
    return Result::Failure(nullptr, "Error unzipping the file %s", input);
  }
  return Result::Success();
}

Result ExtractZip(const char* input, const char* directory) {
  UnzipLibrary library;
  Result step = library.LoadUnzipLibrary();
  if (step.ok) step = library.ExtractAll(input, directory);
  if (step.ok && !library.UnloadUnzipLibrary().ok)
    step = Result::Failure(nullptr, "Error UnZip was unable to close all files");
  return step;
}

enum class Method { kGzip, kCompress, kZip, kNone };

// The method of a type already lower-cased.
Method MethodOf(const char* type) {
  if (std::strcmp(type, "gz") == 0) return Method::kGzip;
  if (std::strcmp(type, "z") == 0) return Method::kCompress;
  if (std::strcmp(type, "zip") == 0) return Method::kZip;
  return Method::kNone;
}

Result Unpack(Method method, const char* input, const char* output, const char* directory) {
  StatusChannel status;
  switch (method) {
    case Method::kGzip:
      return ExtractGzip(status, input, output);
    case Method::kCompress:
      return ExtractCompress(input, output);
    case Method::kZip:
      return ExtractZip(input, directory);
    case Method::kNone:
      break;
  }
  return Result::Success();
}

}  // namespace

Result UnpackFile(char* type, const char* input, const char* output, const char* directory) {
  if (type == nullptr || !LowerCaseType(type)) return Result::Success();
  return Unpack(MethodOf(type), input, output, directory);
}

Result ExtractFile(char* type, const char* input, const char* output, const char* directory) {
  if (type == nullptr || !LowerCaseType(type)) return Result::Success();
  const Method method = MethodOf(type);
  const Result result = Unpack(method, input, output, directory);
  // The downloads are the request's own files in its working directory. A
  // relative input name is read from the current directory: it is deleted
  // before that moves.
  if (method == Method::kGzip || (result.ok && method != Method::kNone))
    platform::DeleteFile(input);
  if (result.ok && method == Method::kZip) platform::SetCurrentDir(directory);
  return result;
}

}  // namespace stanvex
