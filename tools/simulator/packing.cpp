#include "packing.h"

#include <zip.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>

#include "lzw_compress.h"

namespace stanvex::sim {
namespace {

bool WriteBytes(const std::string& data, const std::string& path, std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
  file.close();
  if (!file) {
    *error = "cannot write " + path;
    std::remove(path.c_str());
    return false;
  }
  return true;
}

bool WriteGzip(const std::string& data, const std::string& path, std::string* error) {
  gzFile gz = gzopen(path.c_str(), "wb9");
  if (!gz) {
    *error = "cannot create " + path;
    return false;
  }
  bool ok = true;
  size_t done = 0;
  while (ok && done < data.size()) {
    const size_t piece = data.size() - done < (1u << 20) ? data.size() - done : (1u << 20);
    ok = gzwrite(gz, data.data() + done, static_cast<unsigned>(piece)) == static_cast<int>(piece);
    done += piece;
  }
  if (gzclose(gz) != Z_OK) ok = false;
  if (!ok) {
    *error = "cannot write " + path;
    std::remove(path.c_str());
  }
  return ok;
}

bool WriteZip(const std::string& data, const std::string& path, const std::string& innerName,
              const SimTime& stamp, std::string* error) {
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) {
    *error = "cannot create " + path;
    return false;
  }
  const CalendarTime c = ToCalendar(stamp);
  zip_fileinfo info{};
  info.tmz_date.tm_year = static_cast<uInt>(c.year);
  info.tmz_date.tm_mon = static_cast<uInt>(c.month - 1);
  info.tmz_date.tm_mday = static_cast<uInt>(c.day);
  bool ok = zipOpenNewFileInZip(zip, innerName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK;
  size_t done = 0;
  while (ok && done < data.size()) {
    const size_t piece = data.size() - done < (1u << 20) ? data.size() - done : (1u << 20);
    ok = zipWriteInFileInZip(zip, data.data() + done, static_cast<unsigned>(piece)) == ZIP_OK;
    done += piece;
  }
  if (ok) ok = zipCloseFileInZip(zip) == ZIP_OK;
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  if (!ok) {
    *error = "cannot write " + path;
    std::remove(path.c_str());
  }
  return ok;
}

}  // namespace

bool WritePacked(const std::string& data, Packing packing, const std::string& path,
                 const std::string& innerName, const SimTime& stamp, std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  switch (packing) {
    case Packing::kPlain:
      return WriteBytes(data, path, error);
    case Packing::kZ:
      return WriteBytes(CompressZ(data), path, error);
    case Packing::kGzip:
      return WriteGzip(data, path, error);
    case Packing::kZip:
      return WriteZip(data, path, innerName, stamp, error);
  }
  *error = "unknown packing";
  return false;
}

}  // namespace stanvex::sim
