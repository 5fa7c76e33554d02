#include "WinInetConnectionCache.h"

#include <array>
#include <chrono>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace wininet {

namespace {

using Clock = std::chrono::steady_clock;

// As many idle connections per key as the Windows client keeps per server.
constexpr size_t kMaxIdlePerKey = 6;
// Past this many keys, the keys without idle connections are forgotten.
constexpr size_t kMaxKeys = 32;
// Servers drop idle connections sooner or later; one idle longer than this is
// closed rather than tried (libcurl itself reuses none older than 118 s).
constexpr auto kIdleLimit = std::chrono::seconds(110);

struct CurlShareDeleter {
  void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};

CurlMulti NewMulti() {
  CurlMulti multi(curl_multi_init());
  // One transfer at a time: the one connection it used is all there is to keep.
  if (multi != nullptr)
    curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, 1L);
  return multi;
}

} // namespace

// The TLS sessions and resolved names of one reuse key, under one lock per
// kind of data, since its requests run on any thread.
class SharedSessions {
public:
  SharedSessions() : share_(curl_share_init()) {
    CURLSH* share = share_.get();
    if (share == nullptr)
      return; // transfers then simply share nothing
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &SharedSessions::Lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &SharedSessions::Unlock);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  }

  CURLSH* Get() const { return share_.get(); }

private:
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<SharedSessions*>(self)->locks_[data].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<SharedSessions*>(self)->locks_[data].unlock();
  }

  // Declared first: the share's clean-up still takes its locks.
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  std::unique_ptr<CURLSH, CurlShareDeleter> share_;
};

namespace {

class ConnectionCache {
public:
  static ConnectionCache& Instance() {
    // Never destroyed: at exit, closing TLS connections could come after the
    // TLS library's own clean-up. The system closes the sockets.
    static ConnectionCache* const cache = new ConnectionCache;
    return *cache;
  }

  std::pair<std::shared_ptr<SharedSessions>, CurlMulti> Take(const std::string& key) {
    std::vector<CurlMulti> closed; // closed after the lock: closing TLS takes a moment
    std::lock_guard lock(lock_);
    DropExpired(closed);
    auto found = entries_.find(key);
    if (found == entries_.end()) {
      if (entries_.size() >= kMaxKeys)
        std::erase_if(entries_, [](const auto& entry) { return entry.second.idle.empty(); });
      found = entries_.emplace(key, Entry()).first;
    }
    Entry& entry = found->second;
    if (entry.idle.empty())
      return {entry.sessions, NewMulti()};
    CurlMulti multi = std::move(entry.idle.back().multi);
    entry.idle.pop_back();
    return {entry.sessions, std::move(multi)};
  }

  void Give(const std::string& key, const std::shared_ptr<SharedSessions>& sessions,
            CurlMulti multi) {
    CurlMulti closed; // closed after the lock
    std::lock_guard lock(lock_);
    const auto found = entries_.find(key);
    // A key forgotten meanwhile starts afresh.
    if (found == entries_.end() || found->second.sessions != sessions) {
      closed = std::move(multi);
      return;
    }
    std::vector<Idle>& idle = found->second.idle;
    if (idle.size() == kMaxIdlePerKey) {
      closed = std::move(idle.front().multi);
      idle.erase(idle.begin());
    }
    idle.push_back({std::move(multi), Clock::now()});
  }

private:
  struct Idle {
    CurlMulti multi;
    Clock::time_point since;
  };
  struct Entry {
    std::shared_ptr<SharedSessions> sessions = std::make_shared<SharedSessions>();
    std::vector<Idle> idle; // the most recently used last
  };

  void DropExpired(std::vector<CurlMulti>& closed) {
    const Clock::time_point oldest = Clock::now() - kIdleLimit;
    for (auto& [key, entry] : entries_)
      std::erase_if(entry.idle, [&](Idle& idle) {
        if (idle.since >= oldest)
          return false;
        closed.push_back(std::move(idle.multi));
        return true;
      });
  }

  std::mutex lock_;
  std::unordered_map<std::string, Entry> entries_;
};

} // namespace

ConnectionLease::ConnectionLease(const std::string& key) : key_(key) {
  std::tie(sessions_, multi_) = ConnectionCache::Instance().Take(key);
}

ConnectionLease::~ConnectionLease() {
  if (keep_ && multi_ != nullptr)
    ConnectionCache::Instance().Give(key_, sessions_, std::move(multi_));
}

CURLSH* ConnectionLease::Share() const {
  return sessions_->Get();
}

} // namespace wininet
