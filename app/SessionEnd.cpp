#include "app/SessionEnd.h"

#include "app/TMainForm.h"
#include "platform/TerminationSignals.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace tindrel {

SessionEnd::SessionEnd(TMainForm& form) : form_(form) {
  signals_ = std::make_unique<TerminationSignals>([this](int) { form_.close(); });
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { form_.SaveForSessionEnd(); });
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { form_.SaveForSessionEnd(); });
}

SessionEnd::~SessionEnd() = default;

}  // namespace tindrel
