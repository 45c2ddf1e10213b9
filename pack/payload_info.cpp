#include "pack/payload_info.h"

#include <stdio.h>
#include <string.h>

#include <memory>

#include <unzip.h>

#include "archive/archive_window.h"
#include "archive/entry_checks.h"
#include "archive/entry_name.h"
#include "config/payload_scan.h"
#include "core/file_limits.h"
#include "pack/codepage.h"
#include "pack/file_io.h"
#include "pack/manifest.h"
#include "pack/zip_records.h"

namespace vpack {
namespace {

// The source as the portable readers take it: the payload scan and the
// reader window.
long source_read(void* context, uint32_t offset, unsigned char* buffer, uint32_t size) {
  const ByteSource* source = static_cast<const ByteSource*>(context);
  std::string bytes;
  if (!source->read(source->context, offset, size, &bytes)) return -1;
  memcpy(buffer, bytes.data(), bytes.size());
  return static_cast<long>(bytes.size());
}

bool memory_read(void* context, uint64_t offset, size_t n, std::string* out) {
  const std::string* file = static_cast<const std::string*>(context);
  if (offset >= file->size()) {
    out->clear();
    return true;
  }
  out->assign(*file, static_cast<size_t>(offset), n);
  return true;
}

bool file_read(void* context, uint64_t offset, size_t n, std::string* out) {
  return read_at(static_cast<FILE*>(context), offset, n, out);
}

// Signers pad the file to eight bytes before appending the table.
const uint64_t kCertificateAlignment = 8;

bool zeros_between(const ByteSource& source, uint64_t from, uint64_t to) {
  std::string bytes;
  if (!source.read(source.context, from, static_cast<size_t>(to - from), &bytes)) return false;
  return bytes.size() == to - from && bytes.find_first_not_of('\0') == std::string::npos;
}

// The security entry of the optional header's data directories: a file
// offset and size, or zeros for an unsigned file.
bool read_certificate_table(const ByteSource& source, uint64_t* offset, uint64_t* size) {
  *offset = *size = 0;
  std::string head;
  if (!source.read(source.context, 0, 4096, &head)) return false;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(head.data());
  if (head.size() < 0x40 || b[0] != 'M' || b[1] != 'Z') return true;
  uint32_t pe = read_u32(b + 0x3C);
  if (pe > head.size() - 24 - 2 || memcmp(b + pe, "PE\0\0", 4) != 0) return true;
  const unsigned char* optional = b + pe + 24;
  uint16_t magic = read_u16(optional);
  // The directories follow 96 bytes of a 32-bit header, 112 of a 64-bit one.
  uint32_t directories = magic == 0x10b ? 96 : magic == 0x20b ? 112 : 0;
  const uint32_t kSecurity = 4;
  if (!directories) return true;
  uint64_t at = pe + 24 + directories + kSecurity * 8;
  uint32_t count = read_u32(optional + directories - 4);
  if (count <= kSecurity || at + 8 > head.size()) return true;
  *offset = read_u32(b + at);
  *size = read_u32(b + at + 4);
  return true;
}

std::string entry_label(const EntryInfo& e) {
  return e.utf8_flag ? e.name : cp936_for_display(e.name);
}

// Why the stub refuses an entry, for the message.
std::string refusal(EntryVerdict verdict, const unz_file_info& info, uint32_t total) {
  switch (verdict) {
    case kEntrySound:
      break;
    case kEntryUnreadable:
      return "damaged record or data";
    case kEntryNeeds64BitSizes:
      return "its ZIP64 sizes need 64 bits; the stub reads 32-bit sizes";
    case kEntryNameTooLong:
      return "its name of " + std::to_string(info.size_filename) + " bytes is longer than the " +
             std::to_string(kPathBufferSize - 1) + " the stub holds";
    case kEntryNameHasNul:
      return "its name holds a NUL byte";
    case kEntryMethodUnknown:
      return "method " + std::to_string(info.compression_method) +
             " is neither stored nor deflate";
    case kEntryLocalNameDiffers:
      return "its local header names it otherwise than the central directory";
    case kEntrySizeDiffers:
      return std::to_string(total) + " bytes instead of " + std::to_string(info.uncompressed_size);
    case kEntryCrcMismatch:
      return "CRC-32 mismatch";
    case kEntryCountDiffers:
      break;
  }
  return "";
}

// The stub decodes a stored name in the code page its flag names and
// refuses one that is no text of it, or that reaches outside the
// destination, by the rule it applies itself. Fails with the reason.
bool check_written_name(const EntryInfo& e, const unz_file_info& info, bool* directory,
                        std::string* reason) {
  wchar_t name[kPathBufferSize];
  switch (decode_entry_name(e.name.c_str(), static_cast<unsigned>(info.flag),
                            decode_stored_name, name, kPathBufferSize)) {
    case kEntryNameSound:
      break;
    case kEntryNameNotText:
      *reason = e.utf8_flag ? "its name is flagged as UTF-8 but is not valid UTF-8"
                            : "its name is no text of code page 936 (damaged name)";
      return false;
    case kEntryNameEscapes:
      *reason = "its name reaches outside the destination folder";
      return false;
  }
  *directory = entry_is_directory(info, name);
  return true;
}

// Reads every entry with the checks the stub's extraction applies, in its
// order: sizes for the whole archive first, then each entry's record and
// name; with `verify`, also its local header and data. A directory's data
// are not read, as the stub does not read them.
bool read_entries(ArchiveWindow* window, bool verify, PayloadReport* report, std::string* error) {
  zlib_filefunc_def hooks;
  archive_window_hooks(window, &hooks);
  unzFile uf = unzOpen2("payload", &hooks);
  unz_global_info64 global;
  if (!uf || unzGetGlobalInfo64(uf, &global) != UNZ_OK) {
    *error = "the archive does not open at offset " + std::to_string(report->archive_offset) +
             " with ZipSize " + std::to_string(report->zip_size) + " (damaged central directory?)";
    if (uf) unzClose(uf);
    return false;
  }
  EntryVerdict sizes = check_entry_sizes(uf, window);
  if (sizes == kEntryCountDiffers) {
    *error = "the end record counts " + std::to_string(global.number_entry) +
             " entries; the central directory holds more (damaged end record)";
    unzClose(uf);
    return false;
  }
  if (sizes != kEntrySound) {
    unz_file_info64 info = {};
    char name[kPathBufferSize] = {};
    unzGetCurrentFileInfo64(uf, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0);
    *error = "entry " + cp936_for_display(name) + ": ";
    *error += sizes == kEntryNeeds64BitSizes
                  ? "its ZIP64 sizes need 64 bits (" + std::to_string(info.uncompressed_size) +
                        " bytes); the stub reads 32-bit sizes"
                  : "damaged central directory record";
    unzClose(uf);
    return false;
  }
  std::string buffer(65535, '\0');
  bool ok = true;
  for (ZPOS64_T i = 0; i < global.number_entry && ok; ++i) {
    if (i > 0 && unzGoToNextFile(uf) != UNZ_OK) {
      *error = "the central directory ends after " + std::to_string(i) + " of " +
               std::to_string(global.number_entry) + " entries";
      ok = false;
      break;
    }
    unz_file_info info = {};
    char name[kPathBufferSize];
    EntryVerdict verdict = read_entry_record(uf, &info, name);
    if (verdict != kEntrySound) {
      *error = "entry " + std::to_string(i) + ": " + refusal(verdict, info, 0);
      ok = false;
      break;
    }
    EntryInfo e;
    e.name.assign(name, info.size_filename);
    e.utf8_flag = (info.flag & 0x800) != 0;
    e.method = static_cast<int>(info.compression_method);
    e.compressed_size = static_cast<uint32_t>(info.compressed_size);
    e.uncompressed_size = static_cast<uint32_t>(info.uncompressed_size);
    e.crc = static_cast<uint32_t>(info.crc);
    e.dos_date = static_cast<uint16_t>(info.dosDate >> 16);
    e.dos_time = static_cast<uint16_t>(info.dosDate & 0xFFFF);
    report->entries.push_back(e);
    std::string label = entry_label(e);
    bool directory = false;
    std::string reason;
    if (!check_written_name(e, info, &directory, &reason)) {
      *error = "entry " + label + ": " + reason;
      ok = false;
      break;
    }
    verdict = check_entry_method(info, directory);
    if (verdict == kEntrySound && verify) verdict = open_entry(uf, window, info, directory);
    if (verdict != kEntrySound) {
      *error = "entry " + label + ": " + refusal(verdict, info, 0);
      ok = false;
      break;
    }
    if (!verify || directory) continue;
    uint32_t total = 0;
    int got;
    while ((got = unzReadCurrentFile(uf, &buffer[0], static_cast<unsigned>(buffer.size()))) > 0)
      total += static_cast<uint32_t>(got);
    if (got < 0) {
      unzCloseCurrentFile(uf);
      *error = "entry " + label + ": damaged data (error " + std::to_string(got) + ")";
      ok = false;
      break;
    }
    verdict = close_entry(uf, info, total);
    if (verdict != kEntrySound) {
      *error = "entry " + label + ": " + refusal(verdict, info, total);
      ok = false;
    }
  }
  unzClose(uf);
  if (ok) report->verified = verify;
  return ok;
}

}  // namespace

bool inspect(const ByteSource& source, bool verify, PayloadReport* report, std::string* error) {
  *report = PayloadReport();
  report->file_size = source.size;
  if (source.size >= kLargestSfxFile) {
    *error = "the file is " + std::to_string(source.size) + " bytes; the stub reads below 2 GiB";
    return false;
  }
  PayloadLocation location;
  PayloadScanResult scan = locate_payload(source_read, const_cast<ByteSource*>(&source), &location);
  if (scan == kPayloadReadFailed) {
    *error = "read error during the payload scan";
    return false;
  }
  if (scan != kPayloadNotFound) {
    report->has_marker = true;
  } else {
    // Tell a bare stub from a marker without an archive behind it.
    std::string head;
    if (!source.read(source.context, kMarkerScanFirst, kMarkerScanLast - kMarkerScanFirst + 4,
                     &head)) {
      *error = "read error during the payload scan";
      return false;
    }
    unsigned char mark[4];
    payload_marker_bytes(mark);
    size_t at = head.find(std::string(reinterpret_cast<char*>(mark), 4));
    if (at == std::string::npos) {
      *error = "no payload: no [QV] marker between offsets 20000 and 500000";
    } else {
      report->has_marker = true;
      report->marker_offset = static_cast<uint32_t>(kMarkerScanFirst + at);
      *error = "no archive: no local-header signature after the marker at offset " +
               std::to_string(report->marker_offset) + " up to offset 800004";
    }
    return false;
  }
  report->marker_offset = location.marker_offset;
  report->archive_offset = location.archive_start + 4;

  std::string block;
  if (!source.read(source.context, report->marker_offset,
                   report->archive_offset - report->marker_offset, &block)) {
    *error = "cannot read the configuration block";
    return false;
  }
  // Windows refuses to start a program whose manifest does not parse.
  std::string stub;
  if (!source.read(source.context, 0, report->marker_offset, &stub)) {
    *error = "cannot read the stub";
    return false;
  }
  if (!image_execution_level(stub, &report->execution_level, &report->manifest_error) && verify) {
    *error = report->manifest_error;
    return false;
  }
  report->keys = parse_config_block(block);
  if (!block_zip_size(report->keys, &report->zip_size)) {
    *error = "the configuration block has no ZipSize key: the stub would not find the archive";
    return false;
  }
  if (!read_certificate_table(source, &report->certificate_offset, &report->certificate_size)) {
    *error = "cannot read the executable's headers";
    return false;
  }
  // What follows the archive may only be a signature's certificate table.
  uint64_t archive_end = source.size;
  if (report->certificate_size != 0) {
    if (report->certificate_offset + report->certificate_size != source.size ||
        report->certificate_offset < report->archive_offset) {
      *error = "the certificate table at offset " + std::to_string(report->certificate_offset) +
               " (" + std::to_string(report->certificate_size) +
               " bytes) is not at the end of the file, after the archive";
      return false;
    }
    archive_end = report->certificate_offset;
    if (report->archive_offset + report->zip_size <= archive_end &&
        archive_end - (report->archive_offset + report->zip_size) < kCertificateAlignment &&
        zeros_between(source, report->archive_offset + report->zip_size, archive_end)) {
      archive_end = report->archive_offset + report->zip_size;  // the signer's padding
    }
  }
  report->archive_length = archive_end - report->archive_offset;

  // The archive ends with its end record; the stub needs ZipSize to say so.
  std::string tail;
  uint64_t tail_start = archive_end > 0xFFFF + 22 ? archive_end - 0xFFFF - 22 : 0;
  if (tail_start < report->archive_offset) tail_start = report->archive_offset;
  if (!source.read(source.context, tail_start, static_cast<size_t>(archive_end - tail_start),
                   &tail)) {
    *error = "cannot read the end of the file";
    return false;
  }
  EndRecord end;
  if (!find_end_record(tail, &end)) {
    *error = std::string("no end-of-central-directory record at the end of the ") +
             (report->certificate_size ? "archive, before the certificate table"
                                       : "file: damaged, or bytes follow the archive");
    return false;
  }
  report->comment_length = end.comment_length;
  if (report->zip_size != report->archive_length) {
    *error = "ZipSize " + std::to_string(report->zip_size) + " disagrees with the archive's " +
             std::to_string(report->archive_length) + " bytes from offset " +
             std::to_string(report->archive_offset);
    return false;
  }
  if (end.comment_length > kLongestReachableComment) {
    *error = "the archive comment is " + std::to_string(end.comment_length) +
             " bytes: the stub cannot reach the end record past " +
             std::to_string(kLongestReachableComment);
    return false;
  }

  // The reader's windows take 128 KiB: on the heap.
  std::unique_ptr<ArchiveWindow> window(new ArchiveWindow());
  if (!archive_window_open(window.get(), source_read, const_cast<ByteSource*>(&source),
                           source.size, location.archive_start,
                           static_cast<uint32_t>(report->zip_size))) {
    *error = "cannot read the end of the archive";
    return false;
  }
  report->archive_base = window->base;
  return read_entries(window.get(), verify, report, error);
}

bool inspect_bytes(const std::string& file, bool verify, PayloadReport* report,
                   std::string* error) {
  ByteSource source;
  source.size = file.size();
  source.read = memory_read;
  source.context = const_cast<std::string*>(&file);
  return inspect(source, verify, report, error);
}

bool inspect_file(const std::filesystem::path& path, bool verify, PayloadReport* report,
                  std::string* error) {
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    *error = display_path(path) + ": " + ec.message();
    return false;
  }
  FileHandle file(open_file(path, "rb"));
  if (!file.get()) {
    *error = "cannot open " + display_path(path);
    return false;
  }
  ByteSource source;
  source.size = size;
  source.read = file_read;
  source.context = file.get();
  bool ok = inspect(source, verify, report, error);
  if (!ok) *error = display_path(path) + ": " + *error;
  return ok;
}

std::string format_report(const PayloadReport& r) {
  auto pad = [](std::string text, size_t width, bool right) {
    if (text.size() >= width) return text;
    std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
  };
  auto two = [](unsigned v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
  std::string out;
  auto add = [&](const char* label, uint64_t value) {
    out += pad(label, 17, false) + std::to_string(value) + "\n";
  };
  add("file size:", r.file_size);
  add("stub size:", r.marker_offset);
  add("marker offset:", r.marker_offset);
  add("archive offset:", r.archive_offset);
  add("ZipSize:", r.zip_size);
  add("archive comment:", r.comment_length);
  if (r.archive_base) add("archive base:", r.archive_base);
  if (r.certificate_size) {
    out += pad("certificate:", 17, false) + std::to_string(r.certificate_size) +
           " bytes at offset " + std::to_string(r.certificate_offset) + " (signed)\n";
  } else {
    out += pad("certificate:", 17, false) + "none (unsigned)\n";
  }
  out += pad("execution level:", 17, false) +
         (!r.manifest_error.empty() ? "unreadable (" + r.manifest_error + ")"
          : r.execution_level.empty() ? std::string("none (no manifest)")
                                      : r.execution_level) + "\n";
  out += "configuration:\n";
  for (const auto& kv : r.keys)
    out += "  " + cp936_for_display(kv.first) + "=" + cp936_for_display(kv.second) + "\n";
  add("entries:", r.entries.size());
  for (const EntryInfo& e : r.entries) {
    unsigned d = e.dos_date, t = e.dos_time;
    static const char kHex[] = "0123456789abcdef";
    std::string crc;
    for (int shift = 28; shift >= 0; shift -= 4) crc += kHex[(e.crc >> shift) & 15];
    out += "  " + pad(e.method == 0 ? "stored" : e.method == 8 ? "deflate" : "other", 8, false) +
           pad(std::to_string(e.uncompressed_size), 11, true) +
           pad(std::to_string(e.compressed_size), 11, true) + "  " +
           std::to_string(1980 + (d >> 9)) + "-" + two((d >> 5) & 15) + "-" + two(d & 31) + " " +
           two(t >> 11) + ":" + two((t >> 5) & 63) + ":" + two((t & 31) * 2) + "  " + crc + "  " +
           entry_label(e) + "\n";
  }
  if (r.verified) out += "verified:        every entry decompressed, CRC-32 correct\n";
  return out;
}

}  // namespace vpack
