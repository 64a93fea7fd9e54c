#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace kelta {

// An ordered list of attached handlers. Raising it calls them in attach order; with none
// attached it does nothing. An error thrown by a handler stops the raise and reaches the raiser.
// GUI thread only.
template <class... Args>
class Notification {
 public:
  using Handler = std::function<void(Args...)>;

  void Attach(Handler h) { handlers_.push_back(std::move(h)); }

  void Raise(Args... args) const {
    // By index: a handler may attach another one while the list runs.
    for (std::size_t i = 0; i < handlers_.size(); ++i) {
      const Handler h = handlers_[i];
      h(args...);
    }
  }

  std::size_t Count() const { return handlers_.size(); }

 private:
  std::vector<Handler> handlers_;
};

}  // namespace kelta
