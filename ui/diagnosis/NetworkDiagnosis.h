#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>

#include "services/log/ReportData.h"
#include "ui/diagnosis/DiagnosisContext.h"

namespace lumora {

// The diagnosis page's state: its one run, the step it has reached and the finished report, and
// the report's upload. One per page, made with the page: every visit starts at step 0 with no
// report. When the page goes, its run is cancelled and nothing of it reaches the page again.
// GUI thread only; the run and the upload go on workers.
class NetworkDiagnosis : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(int step READ step NOTIFY stepChanged)
  Q_PROPERTY(int totalStep READ totalStep CONSTANT)
  Q_PROPERTY(QString progressText READ progressText NOTIFY stepChanged)
  Q_PROPERTY(bool submitting READ submitting NOTIFY submittingChanged)

 public:
  explicit NetworkDiagnosis(QObject* parent = nullptr);
  NetworkDiagnosis(DiagnosisContext context, QObject* parent);
  ~NetworkDiagnosis() override;

  int step() const { return step_; }
  int totalStep() const { return DiagnosisRun::kTotalSteps; }
  // "3/8......": not localised.
  QString progressText() const;
  bool submitting() const { return submitting_; }
  // The finished run's report; none before the run has finished.
  const std::optional<tarnel::ReportData>& report() const { return report_; }
  // The run under way or finished; null before the first tap.
  std::shared_ptr<DiagnosisRun> run() const { return run_; }

  // The page's button: starts the run at step 0, sends the report once finished, else nothing.
  Q_INVOKABLE void action();
  void runDiagnosis();
  void submitReport();

 signals:
  void stepChanged();
  void submittingChanged();

 private:
  void setStep(int step);

  DiagnosisContext context_;
  int step_ = 0;
  bool submitting_ = false;
  std::shared_ptr<DiagnosisRun> run_;
  std::optional<tarnel::ReportData> report_;
};

}  // namespace lumora
