#pragma once

#include <cstdlib>
#include <memory>

// A handler's posted work keeps the handler alive until it runs, so handlers
// must be owned by a std::shared_ptr. Not being so is a programming error in
// the owner, not an input the page could cause: it ends the process.
template <class T> std::shared_ptr<T> requireOwned(T& handler) {
  std::shared_ptr<T> self = handler.weak_from_this().lock();
  if (!self)
    std::abort();
  return self;
}
