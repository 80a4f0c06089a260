#include "rozuzed/testing/recording_access.h"

#include <stdexcept>

namespace rozuzed::testing {

void RecordingAccess::withAccess(const FileURL& url, const std::function<void()>& body) {
  {
    std::lock_guard guard(mutex_);
    urls.push_back(url);
    threads.push_back(std::this_thread::get_id());
  }
  if (failOn && url == *failOn) throw std::runtime_error("access lost");
  if (++inside_ > 1) overlapped = true;
  struct Leave {
    std::atomic<int>& inside;
    ~Leave() { --inside; }
  } leave{inside_};
  body();
}

}  // namespace rozuzed::testing
