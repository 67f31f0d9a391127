#pragma once

#include <QObject>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <vector>

#include "services/model/NoticeModels.h"
#include "ui/info/InfoContext.h"

namespace lumora {

// The notice page's state: the service's notices, the read marks (kept app-wide), reading all
// and opening one in the notice window. GUI thread only; the service calls run on workers.
class NotifyListModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QVariantList notices READ noticeList NOTIFY noticesChanged)

 public:
  explicit NotifyListModel(QObject* parent = nullptr);
  NotifyListModel(InfoContext context, QObject* parent);

  const std::vector<tarnel::Notice>& notices() const { return notices_; }
  QVariantList noticeList() const;

  // Fetches the list; a failure keeps the list shown.
  Q_INVOKABLE void load();
  // Marks as read every notice known (the poll's ids and the ones on screen), keeping earlier marks.
  Q_INVOKABLE void readAll();
  // A tap on the row of `id`: marks it read and opens its text in the notice window.
  Q_INVOKABLE void open(qint64 id);
  Q_INVOKABLE bool isRead(qint64 id) const;

 signals:
  void noticesChanged();

 private:
  void markRead(std::int64_t id);
  void unmark(std::int64_t id);

  InfoContext context_;
  std::vector<tarnel::Notice> notices_;
};

}  // namespace lumora
