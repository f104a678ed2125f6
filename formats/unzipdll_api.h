// The zip extraction library's interface: the command record that
// UnzDllExec takes, the message block it hands to the caller's callback, and
// the two entry points. The core loads the library at run time by name and
// sees nothing but what is declared here.
//
// Records are byte-packed. On 32-bit builds the offsets are exact as checked
// below; on 64-bit builds the address fields are pointer-sized and every
// other field keeps its width and order.
#ifndef STANVEX_FORMATS_UNZIPDLL_API_H
#define STANVEX_FORMATS_UNZIPDLL_API_H

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define UNZIPDLL_CALL __stdcall
/* unzipdll.def exports each function under its decorated name only. */
#define UNZIPDLL_API
#else
#define UNZIPDLL_CALL
#define UNZIPDLL_API __attribute__((visibility("default")))
#endif

extern "C" {

#pragma pack(push, 1)

// A report from the library to its caller: one per member that could not be
// extracted (errorCode non-zero) and one per member extracted (errorCode 0).
struct UnzipMessageBlock {
  int32_t reserved[5];  // 0: zero
  int32_t errorCode;    // 20: 0 for a member extracted, else an UnzipMessageCode
  int32_t reserved24;   // 24: zero
  char text[256];       // 28: the member name and what happened, terminated
};

// The caller's message callback. Called on the thread that runs UnzDllExec,
// during the call only; message lives until the callback returns.
typedef int32_t(UNZIPDLL_CALL* UnzipMessageCallback)(UnzipMessageBlock* message);

constexpr int32_t kUnzipMaxFileSpecs = 8;
constexpr size_t kUnzipFileSpecSize = 261;

struct UnzipCommand {
  int32_t reserved0;                     // 0: 0
  int32_t reserved4;                     // 4: 0
  int32_t version;                       // 8: GetUnzDllVersion(), not checked
  UnzipMessageCallback messageCallback;  // 12: may be null
  int32_t reserved16[10];                // 16..52: 0
  int32_t extractFlag;                   // 56: 1 (this library always extracts)
  int32_t overwriteFlag;                 // 60: 1 (this library always replaces files)
  int32_t fileSpecCount;                 // 64: entries used in fileSpecs; 0 means all
  char* archive;                         // 68: path of the zip file, terminated
  int32_t optionBits;                    // 72: 7, not interpreted
  char* fileSpecs[kUnzipMaxFileSpecs];   // 76: member patterns ("*.*", '*', '?')
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xffffffffu
static_assert(offsetof(UnzipMessageBlock, errorCode) == 20, "UnzipMessageBlock.errorCode");
static_assert(offsetof(UnzipMessageBlock, text) == 28, "UnzipMessageBlock.text");
static_assert(offsetof(UnzipCommand, version) == 8, "UnzipCommand.version");
static_assert(offsetof(UnzipCommand, messageCallback) == 12, "UnzipCommand.messageCallback");
static_assert(offsetof(UnzipCommand, reserved16) == 16, "UnzipCommand.reserved16");
static_assert(offsetof(UnzipCommand, extractFlag) == 56, "UnzipCommand.extractFlag");
static_assert(offsetof(UnzipCommand, overwriteFlag) == 60, "UnzipCommand.overwriteFlag");
static_assert(offsetof(UnzipCommand, fileSpecCount) == 64, "UnzipCommand.fileSpecCount");
static_assert(offsetof(UnzipCommand, archive) == 68, "UnzipCommand.archive");
static_assert(offsetof(UnzipCommand, optionBits) == 72, "UnzipCommand.optionBits");
static_assert(offsetof(UnzipCommand, fileSpecs) == 76, "UnzipCommand.fileSpecs");
static_assert(sizeof(UnzipCommand) == 76 + 4 * kUnzipMaxFileSpecs, "UnzipCommand");
#else
static_assert(offsetof(UnzipCommand, messageCallback) == 12, "UnzipCommand.messageCallback");
static_assert(offsetof(UnzipCommand, reserved16) == 20, "UnzipCommand.reserved16");
static_assert(offsetof(UnzipCommand, fileSpecCount) == 68, "UnzipCommand.fileSpecCount");
static_assert(offsetof(UnzipCommand, archive) == 72, "UnzipCommand.archive");
static_assert(offsetof(UnzipCommand, optionBits) == 80, "UnzipCommand.optionBits");
static_assert(offsetof(UnzipCommand, fileSpecs) == 84, "UnzipCommand.fileSpecs");
#endif

// Error codes in UnzipMessageBlock::errorCode.
enum UnzipMessageCode {
  UNZIP_MESSAGE_OK = 0,
  UNZIP_MESSAGE_ARCHIVE = 1,      // the archive cannot be opened or read
  UNZIP_MESSAGE_UNSAFE_NAME = 2,  // absolute name, or one that climbs out with ".."
  UNZIP_MESSAGE_OPEN = 3,         // the member cannot be opened (encrypted, bad method)
  UNZIP_MESSAGE_WRITE = 4,        // the output file cannot be created or written
  UNZIP_MESSAGE_DATA = 5,         // damaged data or a CRC mismatch
  UNZIP_MESSAGE_NAME = 6          // the stored name is empty or too long
};

// The version of this library (major * 100 + minor).
UNZIPDLL_API int32_t UNZIPDLL_CALL GetUnzDllVersion();

// Extracts the members of command->archive that match a file specification
// into the current directory, each under its stored name (subdirectories are
// made as needed; existing files are replaced). A member whose name is
// absolute or climbs out with ".." is never written. Each member's CRC and
// uncompressed size are checked against what was written, however its data
// ended; a member that fails is removed. Returns 0 when every matching
// member was extracted, the number of members that failed when some did, and
// -1 when the command is invalid or the archive cannot be opened or read.
UNZIPDLL_API int32_t UNZIPDLL_CALL UnzDllExec(UnzipCommand* command);
}

#endif  // STANVEX_FORMATS_UNZIPDLL_API_H
