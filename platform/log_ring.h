// A bounded log: keeps the last `Capacity` entries, so a board left running
// for days holds its memory flat; tests read what was logged since they last
// cleared it (well within the capacity).
#pragma once
#include <cstddef>
#include <vector>

namespace plat {

template <typename T, size_t Capacity>
class LogRing {
 public:
  void Push(const T& v) {
    if (items_.size() < Capacity) {
      items_.push_back(v);
    } else {
      items_[next_] = v;
      next_ = (next_ + 1) % Capacity;
    }
    ++total_;
  }
  // The entries kept, oldest first.
  std::vector<T> Entries() const {
    std::vector<T> out(items_.begin() + long(next_), items_.end());
    out.insert(out.end(), items_.begin(), items_.begin() + long(next_));
    return out;
  }
  void Clear() {
    items_.clear();
    next_ = 0;
  }
  size_t Total() const { return total_; }  // entries ever pushed

 private:
  std::vector<T> items_;
  size_t next_ = 0;  // the oldest entry once full
  size_t total_ = 0;
};

}  // namespace plat
