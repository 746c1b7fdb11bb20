#include "support/scratch_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace ostrel::test {
namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string templ = (fs::temp_directory_path() / "ostrel-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Tests may leave read-only directories behind, the scratch directory itself included; make
  // them writable to remove them.
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(dir_, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(dir_, ec);
}

void ScratchDir::Write(const std::string& name, const std::string& content) const {
  std::ofstream f(Path(name), std::ios::binary | std::ios::trunc);
  f << content;
}

InScratchDir::InScratchDir() : previous_(fs::current_path().string()) {
  fs::current_path(scratch_.dir());
}

InScratchDir::~InScratchDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

}  // namespace ostrel::test
