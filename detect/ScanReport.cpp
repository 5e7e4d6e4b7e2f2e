#include "detect/ScanReport.h"

#include <algorithm>

#include "net/HttpCli.h"
#include "compat/WinsockErrors.h"

namespace tavimo {

std::string FetchFailureText(std::int32_t statusCode, const std::string& reasonPhrase,
                             std::uint16_t requestDoneError) {
  switch (requestDoneError) {
    case 0:
      if (statusCode >= 200 && statusCode < 300) return {};
      return reasonPhrase.empty() ? std::to_string(statusCode)
                                  : std::to_string(statusCode) + " " + reasonPhrase;
    case WSAECONNREFUSED: return "connection refused";
    case WSAETIMEDOUT: return "timed out";
    case WSAECONNRESET: return "connection reset";
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA: return "host not found";
    case httperrAborted: return "aborted";
    case httperrStreamWrite: {
      // The scan's own stream refused the bytes (the page bound): its text says why.
      const std::string prefix = "can't store the document: ";
      return reasonPhrase.rfind(prefix, 0) == 0 ? reasonPhrase.substr(prefix.size()) : reasonPhrase;
    }
    default:
      if (requestDoneError >= TLS_HANDSHAKE_FAILED && requestDoneError <= TLS_CLOSED_DURING_HANDSHAKE) {
        return SocketErrorText(requestDoneError);
      }
      return reasonPhrase.empty() ? SocketErrorText(requestDoneError) : reasonPhrase;
  }
}

void TScanReport::PageFetched(const std::string& failure) {
  ++pages_;
  if (failure.empty()) return;
  ++failed_;
  if (std::find(reasons_.begin(), reasons_.end(), failure) == reasons_.end()) reasons_.push_back(failure);
}

std::string TScanReport::FinishedText() const {
  std::string text = "Finished";
  std::string sep = ": ";
  if (failed_ > 0) {
    text += sep + std::to_string(failed_) + " of " + std::to_string(pages_) +
            (pages_ == 1 ? " page" : " pages") + " failed: ";
    for (std::size_t i = 0; i < reasons_.size(); ++i) text += (i ? ", " : "") + reasons_[i];
    sep = "; ";
  }
  if (boundHit_ > 0) {
    text += sep + "stopped after " + std::to_string(boundHit_) + " pages, the most one scan fetches";
  }
  if (bytesBoundHit_ > 0) {
    text +=
        sep + "stopped after " + std::to_string(bytesBoundHit_) + " bytes of pages, the most one scan keeps";
  }
  return text;
}

}  // namespace tavimo
