// Files reached by name where the world may have prepared something: a
// file read by path may be a FIFO that blocks its reader for good, and a
// name in the temporary folder may already be a link to another file or a
// file of another user. Nothing here follows such a link, writes into such
// a file or waits on such a FIFO; each refusal names the path and why.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace FileAccess {

class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens a regular file for reading: its descriptor (the caller closes it),
// or -1 when nothing is there. Anything else in its place (a FIFO, a
// device, a directory) is refused at once; so is a file that cannot be read.
int OpenForReading(const std::string& path);

struct TContent {
  bool Exists = false;
  std::string Bytes;
};
// The whole of a regular file, by the same rules.
TContent ReadFile(const std::string& path);

// Whether someone other than this user can add or replace names in dir
// (the temporary folder, or any folder writable by a group or by all).
bool IsSharedFolder(const std::string& dir);

// A file made new for bytes: created exclusively, without following a link.
// When the name is taken, the first free "<stem> (2)<ext>", "<stem> (3)<ext>"
// beside it, so the name stays one a person finds. Returns the path written.
std::string WriteNewFile(const std::string& path, std::string_view bytes);

// Replaces path whole, or appends to it, in a shared folder: a link at path
// is replaced and never followed; a file of another user, a file with other
// names (hard links) or anything but a regular file is refused.
void WriteSharedFile(const std::string& path, std::string_view bytes, bool append);

// A folder only this user can enter, for files other users must not plant
// or read (lock files): path itself when it is this user's and nobody
// else could ever write to it (made with mode 0700 when absent), else a
// folder of the same name in this user's cache folder. The same path for
// every process of the user, as lock files shared between them need.
std::string PrivateFolder(const std::string& path);

}  // namespace FileAccess
