// Words that search threads share without a lock (table entries, the
// bounds and counts of a split node, the history counters): every access is
// a relaxed atomic one, so no thread reads a torn or stale-forever value.
#pragma once
#include <atomic>

namespace engine {

template <typename T>
T loadShared(T& word) {
  return std::atomic_ref<T>(word).load(std::memory_order_relaxed);
}
template <typename T>
void storeShared(T& word, T value) {
  std::atomic_ref<T>(word).store(value, std::memory_order_relaxed);
}
template <typename T>
void addShared(T& word, T amount) {
  std::atomic_ref<T>(word).fetch_add(amount, std::memory_order_relaxed);
}

// For a word that every thread reads often and that keeps its value for
// long: a store, even of the same value, takes the cache line from every
// core that reads it, so the word is written only when it changes.
template <typename T>
void storeIfChanged(std::atomic<T>& word, T value) {
  if (word.load(std::memory_order_relaxed) != value) word.store(value, std::memory_order_relaxed);
}

}  // namespace engine
