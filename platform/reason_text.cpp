#include <cerrno>

#include "platform/platform.h"

namespace wayloom {

std::string ReasonText(std::error_code reason) {
  // Our own words: the C library's would follow the user's language, and messages stay English.
  static const struct {
    std::errc code;
    const char* text;
  } kReasons[] = {
      {std::errc::no_such_file_or_directory, "no such file or folder"},
      {std::errc::permission_denied, "permission denied"},
      {std::errc::operation_not_permitted, "operation not permitted"},
      {std::errc::is_a_directory, "is a folder"},
      {std::errc::not_a_directory, "a part of the path is not a folder"},
      {std::errc::no_space_on_device, "no space left on the device"},
      {std::errc::file_too_large, "file too large"},
      {std::errc::read_only_file_system, "read-only file system"},
      {std::errc::io_error, "input/output error"},
      {std::errc::bad_file_descriptor, "not open"},
      {std::errc::broken_pipe, "broken pipe"},
      {std::errc::filename_too_long, "file name too long"},
      {std::errc::too_many_symbolic_link_levels, "too many levels of symbolic links"},
      {std::errc::too_many_files_open, "too many open files"},
      {std::errc::too_many_files_open_in_system, "too many open files"},
      {std::errc::not_enough_memory, "out of memory"},
      {std::errc::no_such_device_or_address, "no such device or address"},
      {std::errc::no_such_device, "no such device"},
      {std::errc::interrupted, "interrupted"},
      {std::errc::text_file_busy, "text file busy"},
  };
  for (const auto& entry : kReasons) {
    if (reason == entry.code) return entry.text;
  }
#ifdef EDQUOT
  if (reason.value() == EDQUOT && reason.category() == std::generic_category()) {
    return "disk quota exceeded";
  }
#endif
  return "system error " + std::to_string(reason.value());
}

}  // namespace wayloom
