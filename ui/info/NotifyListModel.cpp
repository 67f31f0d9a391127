#include "ui/info/NotifyListModel.h"

#include <algorithm>

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/info/ModalWindows.h"

namespace lumora {

namespace {
InfoContext sharedContext() {
  const InfoContext* shared = SharedInstance<InfoContext>::get();
  return shared ? *shared : InfoContext{};
}
bool contains(const std::vector<std::int64_t>& ids, std::int64_t id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}
}  // namespace

NotifyListModel::NotifyListModel(QObject* parent) : NotifyListModel(sharedContext(), parent) {}

NotifyListModel::NotifyListModel(InfoContext context, QObject* parent) : QObject(parent), context_(std::move(context)) {}

QVariantList NotifyListModel::noticeList() const {
  QVariantList list;
  for (const auto& notice : notices_) {
    list.append(QVariantMap{{QStringLiteral("id"), qint64(notice.id)},
                            {QStringLiteral("title"), QString::fromStdString(notice.title)},
                            {QStringLiteral("noticeAt"), QString::fromStdString(notice.notice_at)},
                            {QStringLiteral("type"), qint64(notice.type)}});
  }
  return list;
}

void NotifyListModel::load() {
  auto service = context_.services.notices;
  if (!service) return;
  Workers::run(
      this, [service] { return service->notices(); },
      [this](std::optional<tarnel::Notices> answer) {
        if (!answer) return;
        notices_ = answer->notices;
        emit noticesChanged();
      });
}

void NotifyListModel::readAll() {
  if (context_.services.logQueue) context_.services.logQueue->event(tarnel::EventType::BULLETIN_READED);
  if (!context_.state) return;
  // Added to, never replaced: before the poll's first answer its list is empty, and replacing
  // the marks with it would make every notice unread again.
  std::vector<std::int64_t> ids = context_.state->noticesReadIds();
  auto add = [&ids](std::int64_t id) {
    if (!contains(ids, id)) ids.push_back(id);
  };
  for (auto id : context_.state->allNotices()) add(id);
  for (const auto& notice : notices_) add(notice.id);
  context_.state->setNoticesReadIds(std::move(ids));
}

bool NotifyListModel::isRead(qint64 id) const {
  return context_.state && contains(context_.state->noticesReadIds(), id);
}

void NotifyListModel::markRead(std::int64_t id) {
  auto ids = context_.state->noticesReadIds();
  if (contains(ids, id)) return;
  ids.push_back(id);
  context_.state->setNoticesReadIds(std::move(ids));
}

void NotifyListModel::unmark(std::int64_t id) {
  auto ids = context_.state->noticesReadIds();
  const auto it = std::find(ids.begin(), ids.end(), id);
  if (it == ids.end()) return;
  ids.erase(it);
  context_.state->setNoticesReadIds(std::move(ids));
}

void NotifyListModel::open(qint64 id) {
  const auto found = std::find_if(notices_.begin(), notices_.end(), [id](const auto& n) { return n.id == id; });
  if (found == notices_.end() || found->type == 0) return;
  const tarnel::Notice notice = *found;
  if (context_.services.logQueue)
    context_.services.logQueue->event(tarnel::EventType::BULLETIN_LIST_CLICK, std::to_string(notice.id));
  if (!context_.state) return;
  const bool wasRead = isRead(notice.id);
  markRead(notice.id);
  auto service = context_.services.notices;
  if (!service) return;
  Workers::run(
      this, [service, id = notice.id] { return service->notice(id); },
      [this, notice, wasRead](std::optional<std::string> text) {
        if (!text || text->empty()) {
          // Nothing to show: no empty window, and the notice stays unread for the next try.
          if (!wasRead) unmark(notice.id);
          return;
        }
        if (!context_.windowExists() || !context_.windows) return;
        context_.windows->openModalHtmlWindow(ModalWindowType::notice, true, QString::fromStdString(notice.title),
                                              QString::fromStdString(*text), kMainWindowSize.width(),
                                              kMainWindowSize.height());
      });
}

}  // namespace lumora
