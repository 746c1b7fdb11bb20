#include "buffer/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

// Under AddressSanitizer the blocks come from calloc, so that every byte read or written past
// a block's end is still caught.
#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_PLAIN_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_PLAIN_BLOCKS 1
#endif
#endif

namespace ostrel {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t unit) {
  return (n + unit - 1) / unit * unit;
}

}  // namespace

PageBlock& PageBlock::operator=(PageBlock&& other) noexcept {
  if (this != &other) {
    Release();
    map_ = other.map_;
    map_size_ = other.map_size_;
    data_ = other.data_;
    other.map_ = nullptr;
    other.map_size_ = 0;
    other.data_ = nullptr;
  }
  return *this;
}

void PageBlock::Release() {
#ifdef OSTREL_PLAIN_BLOCKS
  std::free(map_);
#else
  if (map_ != nullptr) munmap(map_, map_size_);
#endif
  map_ = nullptr;
  map_size_ = 0;
  data_ = nullptr;
}

bool PageBlock::Allocate(std::size_t size) {
  Release();
  if (size == 0) size = 1;
#ifdef OSTREL_PLAIN_BLOCKS
  map_ = std::calloc(size, 1);
  if (map_ == nullptr) return false;
  map_size_ = size;
  data_ = static_cast<char*>(map_);
  return true;
#else
  const long page_size = sysconf(_SC_PAGESIZE);
  const std::size_t page = page_size > 0 ? static_cast<std::size_t>(page_size) : 4096;
  const bool huge = size >= kHugePage;
  // A huge block gets one huge page of slack, so that its start can be moved to a huge-page
  // boundary inside the mapping.
  const std::size_t used = huge ? RoundUp(size, kHugePage) : RoundUp(size, page);
  if (used < size) return false;  // the size wrapped around
  const std::size_t length = huge ? used + kHugePage : used;
  void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return false;
  map_ = map;
  map_size_ = length;
  data_ = static_cast<char*>(map);
  if (huge) {
    const auto start = RoundUp(reinterpret_cast<std::uintptr_t>(map), kHugePage);
    data_ = reinterpret_cast<char*>(start);
    // Advice only: where the kernel declines, the block works with small pages.
    madvise(data_, used, MADV_HUGEPAGE);
  }
  return true;
#endif
}

}  // namespace ostrel
