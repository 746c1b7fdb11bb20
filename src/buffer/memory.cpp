#include "buffer/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "common/platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_PLAIN_BLOCKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_PLAIN_BLOCKS 1
#endif
#endif

namespace ostrel {
namespace {

// Blocks below this size come from the heap: a mapping of their own would cost two system calls
// (map and unmap) for a few pages. Under AddressSanitizer every block does, so that every byte
// read or written past its end is caught.
bool FromHeap([[maybe_unused]] std::size_t size) {
#ifdef OSTREL_PLAIN_BLOCKS
  return true;
#else
  constexpr std::size_t kSmallestMapped = std::size_t{64} << 10;
  return size < kSmallestMapped;
#endif
}

#ifndef OSTREL_PLAIN_BLOCKS
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t unit) {
  return (n + unit - 1) / unit * unit;
}

#endif

}  // namespace

PageBlock& PageBlock::operator=(PageBlock&& other) noexcept {
  if (this != &other) {
    Release();
    std::swap(map_, other.map_);
    std::swap(map_size_, other.map_size_);
    std::swap(data_, other.data_);
  }
  return *this;
}

void PageBlock::Release() {
  if (map_ == nullptr) return;
  if (FromHeap(map_size_)) {
    std::free(map_);
  } else {
#ifndef OSTREL_PLAIN_BLOCKS
    munmap(map_, map_size_);
#endif
  }
  map_ = nullptr;
  map_size_ = 0;
  data_ = nullptr;
}

bool PageBlock::Allocate(std::size_t size, Pages pages) {
  Release();
  if (size == 0) size = 1;
  if (FromHeap(size)) {
    map_ = std::calloc(size, 1);
    if (map_ == nullptr) return false;
    map_size_ = size;
    data_ = static_cast<char*>(map_);
    return true;
  }
#ifdef OSTREL_PLAIN_BLOCKS
  (void)pages;
  return false;
#else
  const long page_size = sysconf(_SC_PAGESIZE);
  const std::size_t page = page_size > 0 ? static_cast<std::size_t>(page_size) : 4096;
  const bool huge = pages == Pages::kHuge && size >= kHugePage;
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
    const auto address = reinterpret_cast<std::uintptr_t>(map);
    data_ = static_cast<char*>(map) + (RoundUp(address, kHugePage) - address);
    platform::AdviseHugePages(data_, used);
  }
  return true;
#endif
}

void PageBlock::AdviseHuge([[maybe_unused]] std::size_t length) {
#if !defined(OSTREL_PLAIN_BLOCKS)
  if (map_ == nullptr || FromHeap(map_size_) || length < kHugePage) return;
  // Advice only, as for the blocks mapped for huge pages.
  const auto start = static_cast<std::size_t>(data_ - static_cast<char*>(map_));
  platform::AdviseHugePages(map_, std::min(start + length, map_size_));
#endif
}

}  // namespace ostrel
