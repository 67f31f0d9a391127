#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <sys/types.h>

#include <chrono>
#include <functional>

namespace lumora {

// Hands a downloaded package to the desktop's package installer through the desktop's opener.
// The installer has the file once the opener ends well, or when it still runs after `settle` (a
// desktop without an opener of its own runs the installer in the opener's foreground). An opener
// that cannot start, or ends with an error, means that no installer answered. The opener is a
// child process that is watched, never waited for on the GUI thread, and never ended by us: an
// installer it runs outlives the program. GUI thread only.
class PackageInstaller : public QObject {
  Q_OBJECT

 public:
  struct Options {
    QString program = QStringLiteral("xdg-open");
    QStringList arguments;  // before the package's path
    std::chrono::milliseconds settle = std::chrono::seconds(10);
  };
  // True: an installer has the package; false: none answered.
  using Answer = std::function<void(bool installerHasIt)>;

  explicit PackageInstaller(Options options, QObject* parent = nullptr);

  // Opens `path`; `answer` hears once. A second open while one is undecided replaces it (the
  // first hears false).
  void open(const QString& path, Answer answer);

 private:
  void poll();
  void settle(bool installerHasIt);

  Options options_;
  pid_t child_ = -1;  // the opener while undecided
  QTimer watch_;
  QTimer settled_;
  Answer answer_;
};

}  // namespace lumora
