#include "ui/diagnosis/NetworkDiagnosis.h"

#include <QPointer>

#include <utility>

#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/GuiQueue.h"
#include "ui/base/Router.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {
namespace {

DiagnosisContext sharedContext() {
  const DiagnosisContext* shared = SharedInstance<DiagnosisContext>::get();
  return shared ? *shared : DiagnosisContext{};
}

}  // namespace

NetworkDiagnosis::NetworkDiagnosis(QObject* parent) : NetworkDiagnosis(sharedContext(), parent) {}

NetworkDiagnosis::NetworkDiagnosis(DiagnosisContext context, QObject* parent)
    : QObject(parent), context_(std::move(context)) {}

NetworkDiagnosis::~NetworkDiagnosis() {
  // Leaving the page ends its run; the worker stops the trial tunnel on its way out.
  if (run_) run_->cancel();
}

QString NetworkDiagnosis::progressText() const {
  return QStringLiteral("%1/%2......").arg(step_).arg(totalStep());
}

void NetworkDiagnosis::setStep(int step) {
  if (step_ == step) return;
  step_ = step;
  emit stepChanged();
}

void NetworkDiagnosis::action() {
  if (step_ == 0) {
    runDiagnosis();
  } else if (step_ == totalStep()) {
    submitReport();
  }
}

void NetworkDiagnosis::runDiagnosis() {
  if (step_ != 0 || !context_.services.diagnosis || !context_.state) return;
  DiagnosisRun::Options options;
  options.addresses = context_.addresses;
  options.settings = {context_.state->tunnelMode(), context_.state->smartRoute(), context_.state->reconnect()};
  options.trialTimeout = context_.trialTimeout;

  // The run's reports come on its worker; each is re-posted and dropped once the page is gone or
  // the run was cancelled.
  QPointer<NetworkDiagnosis> page(this);
  // Set before the run starts, read only on the GUI thread.
  auto self = std::make_shared<std::weak_ptr<DiagnosisRun>>();
  auto deliver = [page, self](std::function<void(NetworkDiagnosis&)> work) {
    GuiQueue::post([page, self, work = std::move(work)] {
      const auto alive = self->lock();
      if (!page || !alive || alive->cancelled() || page->run_ != alive) return;
      work(*page);
    });
  };
  DiagnosisRun::Listener listener;
  listener.onStep = [deliver](int step) { deliver([step](NetworkDiagnosis& p) { p.setStep(step); }); };
  listener.onFinished = [deliver](const tarnel::ReportData& report) {
    deliver([report](NetworkDiagnosis& p) {
      p.report_ = report;
      p.setStep(p.totalStep());
    });
  };
  auto run = std::make_shared<DiagnosisRun>(context_.services, context_.front, options, std::move(listener));
  *self = run;
  run_ = run;
  setStep(1);
  Workers::run([run] { run->run(); });
}

void NetworkDiagnosis::submitReport() {
  if (step_ != totalStep() || !report_ || submitting_) return;
  submitting_ = true;
  emit submittingChanged();
  auto services = context_.services;
  Workers::run(
      this, [services, report = *report_] { return services.diagnosis->sendReport(report); },
      [this](ServiceError error) {
        submitting_ = false;
        emit submittingChanged();
        if (error) {
          showToast(QString::fromStdString(error->errMsg), ToastType::error);
          return;
        }
        if (context_.state && context_.state->router()) context_.state->router()->backToRoot();
      });
}

}  // namespace lumora
