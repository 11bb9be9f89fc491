#include "ui/qv_gif_view.h"

#include "platform/http_session.h"
#include "platform/main_queue.h"

namespace qvad {

void QvGIFView::showGIFImageWithWebNetWorkUrl(const std::string& url, std::function<void()> complete) {
  HttpRequest request;
  request.url = url;
  request.maxBodyBytes = 8u * 1024 * 1024;
  HttpSession::shared()->dataTask(std::move(request), [complete = std::move(complete)](HttpResponse response) mutable {
    const bool ok = !response.error && response.statusCode / 100 == 2 && response.body && !response.body->empty();
    dispatchMain([ok, complete = std::move(complete)] {
      if (ok && complete) complete();
    });
  });
}

}  // namespace qvad
