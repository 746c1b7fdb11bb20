// Large blocks of memory in mappings of their own.
#pragma once

#include <cstddef>
#include <utility>

namespace ostrel {

// A block of memory in a mapping of its own (a block under 64 KiB comes from the heap). Its
// pages are touched only when used, so an untouched part costs no memory. A block of megabytes is
// aligned to huge pages and the kernel is asked to back it with them (unless told otherwise), so
// filling it costs a few page faults instead of one per small page. Released when the block is
// destroyed.
class PageBlock {
 public:
  PageBlock() = default;
  ~PageBlock() { Release(); }
  PageBlock(PageBlock&& other) noexcept { *this = std::move(other); }
  PageBlock& operator=(PageBlock&& other) noexcept;
  PageBlock(const PageBlock&) = delete;
  PageBlock& operator=(const PageBlock&) = delete;

  // How a block of megabytes is backed: by huge pages, for blocks that are filled in large
  // parts, or by small pages only, for blocks of which a small part is typically used.
  enum class Pages { kHuge, kSmall };

  // Releases the current block and maps a new zero-filled one of at least `size` bytes.
  // Returns false, holding no block, when the memory cannot be had.
  bool Allocate(std::size_t size, Pages pages = Pages::kHuge);

  void Release();

  // Asks for huge pages for the first `length` bytes of a block mapped on small pages, when they
  // are about to be filled and span megabytes: a few page faults instead of one per small page.
  void AdviseHuge(std::size_t length);

  char* data() const { return data_; }

 private:
  void* map_ = nullptr;
  std::size_t map_size_ = 0;  // bytes mapped
  char* data_ = nullptr;
};

// A zero-filled work buffer of a fixed size (a line's worth, lsize bytes), in a block of its
// own pages: however large lsize is, only the bytes used are ever backed by memory.
class LineBuffer {
 public:
  // Replaces the buffer by `size` zero bytes. Returns false, holding nothing, when the memory
  // cannot be had.
  bool Allocate(std::size_t size) {
    size_ = block_.Allocate(size) ? size : 0;
    return size_ == size;
  }
  char* data() { return block_.data(); }
  const char* data() const { return block_.data(); }
  std::size_t size() const { return size_; }
  char& operator[](std::size_t i) { return block_.data()[i]; }
  const char& operator[](std::size_t i) const { return block_.data()[i]; }

 private:
  PageBlock block_;
  std::size_t size_ = 0;
};

}  // namespace ostrel
