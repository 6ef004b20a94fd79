// Hash tables keyed by text from the analysed project. Their hash is SipHash-1-3 under a secret
// key, so a crafted project cannot force collisions: the keys come from the operating system's
// random source once per analysis (`HashSeeds`, detect/hash_seeds.h), and every table takes a key
// of its own from it.
//
// Iteration order of `TextMap` is unspecified and nothing may depend on it. Where an output does
// depend on the order (the evidence tables), use `OrderedTextMap`, which iterates in first
// insertion order so that the same tree always gives the same manifest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "detect/hash_seeds.h"

namespace detect {

// SipHash-1-3 of `data` under `key`.
std::uint64_t siphash13(HashKey key, std::string_view data);

struct SeededTextHash {
  using is_transparent = void;
  HashKey key;
  std::size_t operator()(std::string_view s) const { return siphash13(key, s); }
};

struct TextEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

// Which keys a table may hold, by a few bits of their length and their first and last byte: a
// lookup whose bit no key has set is answered without hashing. The tables built from packs hold
// a few dozen names and a file's import table a few dozen more, while most names asked of them
// (a method called on `self`, a local variable) differ from every key in one of those three.
// Unkeyed, since it only ever spares work: at worst every bit is set and each lookup hashes.
class KeyFilter {
 public:
  void add(std::string_view key) { bits_[slot(key) / 64] |= std::uint64_t{1} << (slot(key) % 64); }
  [[nodiscard]] bool may_hold(std::string_view key) const {
    return (bits_[slot(key) / 64] >> (slot(key) % 64) & 1) != 0;
  }

 private:
  static std::uint32_t slot(std::string_view key) {
    const std::size_t n = key.size();
    const std::uint32_t first = n == 0 ? 0 : static_cast<unsigned char>(key.front());
    const std::uint32_t last = n == 0 ? 0 : static_cast<unsigned char>(key.back());
    const std::uint32_t mixed = (static_cast<std::uint32_t>(n) * 0x9E3779B1u) ^ (first * 0x85EBCA77u) ^ (last * 0xC2B2AE3Du);
    return mixed >> 24;
  }
  std::uint64_t bits_[4] = {};
};

// Unordered map from text; lookups take a string_view without allocating, and most lookups of a
// text that is no key are answered by the table's `KeyFilter` alone.
template <typename V>
class TextMap {
 public:
  explicit TextMap(HashKey key) : map_(0, SeededTextHash{key}, TextEqual{}) {}

  // Inserts or replaces; the key is copied only when new.
  void insert_or_assign(std::string_view key, V value) {
    auto it = find_entry(key);
    if (it == map_.end()) {
      emplace(key, std::move(value));
    } else {
      it->second = std::move(value);
    }
  }
  // Inserts only when absent; returns false when the key was already there.
  bool try_insert(std::string_view key, V value) {
    if (find_entry(key) != map_.end()) return false;
    emplace(key, std::move(value));
    return true;
  }
  const V* find(std::string_view key) const {
    auto it = find_entry(key);
    return it == map_.end() ? nullptr : &it->second;
  }
  bool contains(std::string_view key) const { return find_entry(key) != map_.end(); }
  bool empty() const { return map_.empty(); }
  std::size_t size() const { return map_.size(); }
  auto begin() const { return map_.begin(); }
  auto end() const { return map_.end(); }

 private:
  using Map = std::unordered_map<std::string, V, SeededTextHash, TextEqual>;

  typename Map::iterator find_entry(std::string_view key) {
    return filter_.may_hold(key) ? map_.find(key) : map_.end();
  }
  typename Map::const_iterator find_entry(std::string_view key) const {
    return filter_.may_hold(key) ? map_.find(key) : map_.end();
  }
  void emplace(std::string_view key, V value) {
    map_.emplace(std::string(key), std::move(value));
    filter_.add(key);
  }

  Map map_;
  KeyFilter filter_;
};

// Map from text that iterates in the order in which each key was first inserted; replacing a
// value keeps the key's place.
template <typename V>
class OrderedTextMap {
 public:
  explicit OrderedTextMap(HashKey key) : index_(0, SeededTextHash{key}, TextEqual{}) {}

  // The value under `key`, default-constructed (by `make`) and placed last when new.
  template <typename Make>
  V& get_or_insert(std::string_view key, Make&& make) {
    auto it = index_.find(key);
    if (it != index_.end()) return entries_[it->second].second;
    entries_.emplace_back(std::string(key), make());
    index_.emplace(entries_.back().first, entries_.size() - 1);
    return entries_.back().second;
  }
  void insert_or_assign(std::string_view key, V value) {
    auto it = index_.find(key);
    if (it != index_.end()) {
      entries_[it->second].second = std::move(value);
      return;
    }
    entries_.emplace_back(std::string(key), std::move(value));
    index_.emplace(entries_.back().first, entries_.size() - 1);
  }
  const V* find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  // Entries in first-insertion order.
  const std::vector<std::pair<std::string, V>>& entries() const { return entries_; }
  std::vector<std::pair<std::string, V>>& entries() { return entries_; }

 private:
  std::vector<std::pair<std::string, V>> entries_;
  // The index owns copies of the keys: views into `entries_` would dangle when a reallocation
  // moves short strings, whose characters live inside the std::string itself.
  std::unordered_map<std::string, std::size_t, SeededTextHash, TextEqual> index_;
};

}  // namespace detect
