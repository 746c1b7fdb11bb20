// A scratch directory for a test: made fresh under the system's temporary directory, removed
// with everything in it when the object goes.
#pragma once

#include <string>

namespace ostrel::test {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& dir() const { return dir_; }
  // The path of `name` inside the directory.
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Creates or replaces the file `name` with `content`.
  void Write(const std::string& name, const std::string& content) const;

 private:
  std::string dir_;
};

// Makes a scratch directory the working directory while it lives; the previous one comes back
// before the directory is removed.
class InScratchDir {
 public:
  InScratchDir();
  ~InScratchDir();
  InScratchDir(const InScratchDir&) = delete;
  InScratchDir& operator=(const InScratchDir&) = delete;

 private:
  std::string previous_;
  ScratchDir scratch_;
};

}  // namespace ostrel::test
