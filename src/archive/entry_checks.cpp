#include "archive/entry_checks.h"

#include <string.h>

#include "archive/entry_name.h"

EntryVerdict check_entry_sizes(unzFile archive, const ArchiveWindow* window) {
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return kEntryUnreadable;
  if (global.number_entry > 0xFFFFFFFFu) return kEntryNeeds64BitSizes;
  if (global.number_entry == 0) {
    // An empty archive has an empty central directory. A size above 0 says
    // that entries were there, even where no first record can be read;
    // else the first record, read whatever the count says.
    return window->central_size != 0 || unzGoToFirstFile(archive) == UNZ_OK
               ? kEntryCountDiffers
               : kEntrySound;
  }
  ZPOS64_T next_record = 0;
  for (ZPOS64_T k = 0; k < global.number_entry; ++k) {
    if (k > 0 && unzGoToNextFile(archive) != UNZ_OK) return kEntryUnreadable;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return kEntryUnreadable;
    }
    if (info.compressed_size > 0xFFFFFFFFu || info.uncompressed_size > 0xFFFFFFFFu) {
      return kEntryNeeds64BitSizes;
    }
    next_record = unzGetOffset64(archive) + 46 + info.size_filename + info.size_file_extra +
                  info.size_file_comment;
  }
  // Past the last counted record comes the end record, never another entry.
  if (unzSetOffset64(archive, next_record) == UNZ_OK) return kEntryCountDiffers;
  if (unzGoToFirstFile(archive) != UNZ_OK) return kEntryUnreadable;
  return kEntrySound;
}

template <typename Char>
bool entry_is_directory(const unz_file_info& info, const Char* name) {
  bool has_separator = false;
  if (*entry_last_component(name, &has_separator) == 0) return true;
  if (info.uncompressed_size != 0) return false;
  switch (info.version >> 8) {
    case 0:   // FAT
    case 6:   // HPFS
    case 10:  // NTFS
    case 14:  // VFAT
      return (info.external_fa & 0x10) != 0;
    case 3:  // Unix: the mode's file type
      return ((info.external_fa >> 16) & 0170000) == 0040000;
  }
  return false;
}

template bool entry_is_directory(const unz_file_info&, const char*);
template bool entry_is_directory(const unz_file_info&, const wchar_t*);

EntryVerdict read_entry_record(unzFile archive, unz_file_info* info,
                               char (&name)[kPathBufferSize]) {
  memset(name, 0, sizeof name);
  if (unzGetCurrentFileInfo(archive, info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return kEntryUnreadable;
  }
  if (info->size_filename >= sizeof name) {
    name[sizeof name - 1] = 0;
    return kEntryNameTooLong;
  }
  // "dir/\0x" would pass for the directory entry "dir/", and its data would
  // be lost unnoticed.
  if (strnlen(name, sizeof name) != info->size_filename) return kEntryNameHasNul;
  return kEntrySound;
}

EntryVerdict open_entry(unzFile archive, ArchiveWindow* window, const unz_file_info& info,
                        bool directory) {
  EntryVerdict verdict = check_entry_method(info, directory);
  if (verdict != kEntrySound || !entry_method_decodable(info)) return verdict;
  if (unzOpenCurrentFile(archive) != UNZ_OK) return kEntryUnreadable;
  // Every archive a real tool writes names an entry alike in its local
  // header and its central record; an entry whose two names differ is
  // damaged, or made to mislead. The local name lies right before the local
  // extra field, which lies right before the data.
  char central[kPathBufferSize];
  char local[kPathBufferSize];
  ZPOS64_T name_length = info.size_filename;
  ZPOS64_T data_offset = unzGetCurrentFileZStreamPos64(archive);
  int extra_length = unzGetLocalExtrafield(archive, nullptr, 0);
  ZPOS64_T name_offset =
      data_offset - static_cast<ZPOS64_T>(extra_length) - name_length + window->base;
  long got;
  if (name_length >= sizeof central) {
    verdict = kEntryNameTooLong;
  } else if (unzGetCurrentFileInfo(archive, nullptr, central, sizeof central, nullptr, 0,
                                   nullptr, 0) != UNZ_OK) {
    verdict = kEntryUnreadable;
  } else if (extra_length < 0 ||
             data_offset < name_length + static_cast<ZPOS64_T>(extra_length) ||
             name_offset > 0xFFFFFFFFu) {
    verdict = kEntryLocalNameDiffers;
  } else if ((got = archive_window_read(window, static_cast<uint32_t>(name_offset), local,
                                        static_cast<uint32_t>(name_length))) < 0) {
    verdict = kEntryUnreadable;
  } else if (static_cast<ZPOS64_T>(got) != name_length ||
             memcmp(local, central, name_length) != 0) {
    verdict = kEntryLocalNameDiffers;
  }
  if (directory) unzCloseCurrentFile(archive);
  return verdict;
}

EntryVerdict close_entry(unzFile archive, const unz_file_info& info, uint32_t total) {
  // The reader checks the CRC-32 only when the data reached the recorded
  // size; a stream that ends before it shows in the total.
  if (unzCloseCurrentFile(archive) == UNZ_CRCERROR) return kEntryCrcMismatch;
  if (total != info.uncompressed_size) return kEntrySizeDiffers;
  return kEntrySound;
}
