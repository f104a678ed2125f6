// ExtractFile: chooses the unpacker by the compression type.
#include "extract/extract_file.h"

#include <cctype>
#include <cstring>

#include "base/last_error.h"
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

int ExtractGzip(StatusChannel& status, const char* input, const char* output) {
  status.Text("GZIP Function Called");
  bool tooLarge = false;
  const int result = GunzipFile(input, output, kMaxUnpackedSize, &tooLarge);
  if (result != 1) {
    if (tooLarge)
      SetLastErrorText("Error unzipping the file %s: it unpacks to more than 4 GiB, far more than "
                       "a daily file", input);
    else
      SetLastErrorText("Error unzipping the file %s", input);
    return 0;
  }
  return 1;
}

int ExtractCompress(const char* input, const char* output) {
  try {
    QvUnZ_Extract(input, output);
  } catch (int code) {
    switch (code) {
      case UNZ_INPUT_NOT_OPENED:
        SetLastErrorText("File could not be opened for reading %s", input);
        break;
      case UNZ_OUTPUT_NOT_OPENED:
        SetLastErrorText("Output file cannot be opened for writing %s", output);
        break;
      case UNZ_WRITE_FAILED:
        SetLastErrorText("Error writing to the output file %s", output);
        break;
      case UNZ_NOT_Z_FILE:
        SetLastErrorText("The input file does not appear to be a valid Z File %s", input);
        break;
      case UNZ_CORRUPT:
        SetLastErrorText("The input file appears to be corrupt %s", input);
        break;
      case UNZ_TOO_LARGE:
        SetLastErrorText("The input file unpacks to more than 4 GiB, far more than a daily file %s",
                         input);
        break;
      default:
        // An extractor that fails in a way it does not name has still
        // failed: keep the download rather than report success.
        SetLastErrorText("Error unzipping the file %s", input);
        break;
    }
    return 0;
  } catch (...) {
    SetLastErrorText("Error unzipping the file %s", input);
    return 0;
  }
  return 1;
}

int ExtractZip(const char* input, const char* directory) {
  UnzipLibrary library;
  if (library.LoadUnzipLibrary() != 1) {
    SetLastErrorText("Error Initalizing UnZip.  Might be missing UNZDLL.DLL");
    return 0;
  }
  if (library.ExtractAll(input, directory) != 1) {
    SetLastErrorText("Error UnZip was unable unzip the file %s", input);
    return 0;
  }
  if (library.UnloadUnzipLibrary() != 1) {
    SetLastErrorText("Error UnZip was unable to close all files");
    return 0;
  }
  return 1;
}

enum class Method { kGzip, kCompress, kZip, kNone };

// The method of a type already lower-cased.
Method MethodOf(const char* type) {
  if (std::strcmp(type, "gz") == 0) return Method::kGzip;
  if (std::strcmp(type, "z") == 0) return Method::kCompress;
  if (std::strcmp(type, "zip") == 0) return Method::kZip;
  return Method::kNone;
}

int Unpack(Method method, const char* input, const char* output, const char* directory) {
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
  return 1;
}

}  // namespace

int UnpackFile(char* type, const char* input, const char* output, const char* directory) {
  if (type == nullptr || !LowerCaseType(type)) return 1;
  return Unpack(MethodOf(type), input, output, directory);
}

int ExtractFile(char* type, const char* input, const char* output, const char* directory) {
  if (type == nullptr || !LowerCaseType(type)) return 1;
  const Method method = MethodOf(type);
  const int result = Unpack(method, input, output, directory);
  // The downloads are the request's own files in its working directory. A
  // relative input name is read from the current directory: it is deleted
  // before that moves.
  if (method == Method::kGzip || (result == 1 && method != Method::kNone))
    platform::DeleteFile(input);
  if (result == 1 && method == Method::kZip) platform::SetCurrentDir(directory);
  return result;
}

}  // namespace stanvex
