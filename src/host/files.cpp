#include "host/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mixed::host {

namespace {

std::string reason(int err) { return std::strerror(err); }

// The directory part of a path ("." when it has none) and its last component.
std::pair<std::string, std::string> split_path(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Writes all of `content` to `fd`, resuming after interrupted or partial writes.
bool write_all(int fd, std::string_view content) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// The mode a newly created file gets: that of the file it replaces, or the
// usual 0666 less the process's umask.
mode_t target_mode(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Makes the rename durable; a directory that cannot be synced is not an error.
void sync_directory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool write_file_atomic(const std::string& path, std::string_view content, std::string& error) {
  if (path.empty()) {
    error = "cannot write a file without a name";
    return false;
  }
  const auto [dir, base] = split_path(path);
  if (base.empty()) {
    error = "cannot write " + path + ": the name is a directory";
    return false;
  }
  std::string temp = (dir == "/" ? "/" : dir + "/") + "." + base + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot write " + path + ": " + reason(errno);
    return false;
  }
  int err = 0;
  if (!write_all(fd, content)) err = errno;
  if (err == 0 && ::fchmod(fd, target_mode(path)) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0 && errno != EINVAL) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    error = "cannot write " + path + ": " + reason(err);
    return false;
  }
  sync_directory(dir);
  return true;
}

std::optional<std::string> read_file(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + path + ": " + reason(errno);
    return std::nullopt;
  }
  struct stat st = {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = "cannot read " + path + ": " + reason(EISDIR);
    return std::nullopt;
  }
  std::string content;
  if (S_ISREG(st.st_mode) && st.st_size > 0) content.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      error = "cannot read " + path + ": " + reason(err);
      return std::nullopt;
    }
    content.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return content;
}

}  // namespace mixed::host
