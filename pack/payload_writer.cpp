#include "pack/payload_writer.h"

#include "core/file_limits.h"
#include "pack/file_io.h"
#include "pack/layout.h"

namespace vpack {
namespace {

// The layout rules over the bytes as they lie in the written file: the
// stub, the block and the archive's two ends, read back.
bool check_written_layout(const std::filesystem::path& path, size_t stub_size,
                          size_t block_size, uint64_t zip_size, std::string* error) {
  uint64_t head = stub_size + block_size;
  std::error_code ec;
  uintmax_t file_size = std::filesystem::file_size(path, ec);
  if (ec || file_size != head + zip_size) {
    *error = "the written file " + display_path(path) + " is not " +
             std::to_string(head + zip_size) + " bytes long";
    return false;
  }
  FileHandle f(open_file(path, "rb"));
  ArchiveView zip;
  zip.size = zip_size;
  std::string front;
  size_t tail = zip_size < kViewTail ? static_cast<size_t>(zip_size) : kViewTail;
  size_t wanted = static_cast<size_t>(head) + (zip_size < kViewHead ? tail : kViewHead);
  if (!f.get() || !read_at(f.get(), 0, wanted, &front) || front.size() != wanted ||
      !read_at(f.get(), head + zip_size - tail, tail, &zip.tail) || zip.tail.size() != tail) {
    *error = "cannot read back " + display_path(path) + ": " + reason();
    return false;
  }
  zip.head = front.substr(static_cast<size_t>(head));
  return check_layout(front.substr(0, stub_size), front.substr(stub_size, block_size), zip,
                      error);
}

// Why no file can be made beside `output`, said of the user's path: the
// temporary name written first means nothing to them. Call it right after
// the failure, while reason() still holds it.
std::string folder_problem(const std::filesystem::path& output) {
  std::string why = reason();
  std::filesystem::path folder = output.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(folder, ec);
  std::string shown = display_path(folder);
  if (!std::filesystem::exists(status)) return "the folder " + shown + " does not exist";
  if (!std::filesystem::is_directory(status)) return shown + " is not a folder";
  return "the folder " + shown + " cannot be written (" + why + ")";
}

}  // namespace

bool write_payload_file(const std::filesystem::path& output, const Payload& payload,
                        std::string* error, WrittenCheck check, void* check_context) {
  // ZipSize precedes the archive but is known only at its end, and its
  // digits set where the archive starts. The archive is written after a
  // block made for the size it would have stored, which is never smaller
  // than the real one; when compression takes its size below a power of
  // ten the archive is moved back in the file, once, by the missing digits.
  // That costs one copy only in those cases, where spooling the whole
  // archive would cost it always.
  const std::string& stub = payload.stub;
  // What can be refused before the archive is written is refused then; the
  // shortest ZipSize keeps this from refusing what the final block allows.
  if (!check_stub_and_block(stub, build_config_block(with_zip_size(payload.keys, 0)), error))
    return false;
  uint64_t guess = payload.limits.size_guess
                       ? payload.limits.size_guess
                       : archive_size_bound(payload.entries, payload.options);
  std::string block = build_config_block(with_zip_size(payload.keys, guess));

  ScratchFile out;
  if (!out.create(temporary_path(output), error)) {
    *error = "cannot create " + display_path(output) + ": " + folder_problem(output);
    return false;
  }
  ArchiveTarget target;
  target.file = out.get();
  target.base = stub.size() + block.size();
  target.limit = kLargestSfxFile - stub.size();  // no archive this long can fit
  target.spool = out.path();
  target.name = display_path(out.path());
  uint64_t zip_size = 0;
  if (!write_archive(payload.entries, payload.options, target, &zip_size, error,
                     payload.limits))
    return false;

  std::string final_block = build_config_block(with_zip_size(payload.keys, zip_size));
  uint64_t start = stub.size() + final_block.size();
  bool written = fflush(out.get()) == 0 &&
                 (start == target.base || move_within(out.get(), target.base, start, zip_size)) &&
                 write_at(out.get(), 0, stub) && write_at(out.get(), stub.size(), final_block);
  if (!written) {
    *error = "cannot write " + target.name + ": " + reason();
    return false;
  }
  if (!out.close(error)) return false;
  if (start < target.base) {
    std::error_code ec;
    std::filesystem::resize_file(out.path(), start + zip_size, ec);
    if (ec) {
      *error = "cannot shorten " + target.name + ": " + ec.message();
      return false;
    }
  }
  if (!check_written_layout(out.path(), stub.size(), final_block.size(), zip_size, error))
    return false;
  if (check && !check(out.path(), check_context, error)) return false;
  return out.rename_to(output, error);
}

}  // namespace vpack
