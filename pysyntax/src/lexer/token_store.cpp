// The growth of the token array, out of the lexer's hot path.
#include <cstdint>
#include <cstdlib>
#include <new>

#include "lexer/token_buffer.h"

namespace pysyntax::lexer {

void TokenStore::grow(size_t needed) {
  size_t capacity = capacity_ < 64 ? 64 : capacity_;
  while (capacity < needed) capacity = capacity > SIZE_MAX / 2 ? needed : capacity * 2;
  if (capacity > SIZE_MAX / sizeof(Token)) throw std::bad_alloc();
  // realloc keeps the tokens (an empty store has none to copy); when the system refuses, the
  // store is left as it was.
  void* grown = nullptr;
  if (size_ == 0) {
    grown = std::malloc(capacity * sizeof(Token));
    if (grown == nullptr) throw std::bad_alloc();
    std::free(data_);
  } else {
    grown = std::realloc(data_, capacity * sizeof(Token));
    if (grown == nullptr) throw std::bad_alloc();
  }
  data_ = static_cast<Token*>(grown);
  capacity_ = capacity;
}

}  // namespace pysyntax::lexer
