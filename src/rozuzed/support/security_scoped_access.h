// The seam through which the engine asks that a folder be accessible while
// work on it runs.
#pragma once

#include <functional>

#include "rozuzed/support/file_url.h"

namespace rozuzed {

class SecurityScopedAccess {
 public:
  virtual ~SecurityScopedAccess() = default;
  // Runs `body` while the folder around `url` is accessible. An exception
  // thrown by `body` propagates unchanged; an implementation may also throw
  // on its own before running `body`.
  virtual void withAccess(const FileURL& url, const std::function<void()>& body) = 0;
};

// Runs the body once and nothing else: the default for callers that were
// given no access of their own.
class UnscopedAccess final : public SecurityScopedAccess {
 public:
  void withAccess(const FileURL& url, const std::function<void()>& body) override;
};

}  // namespace rozuzed
