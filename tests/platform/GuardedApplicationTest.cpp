#include "platform/Errors.h"
#include "platform/GuardedApplication.h"

#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

class ThrowingObject : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("handler failed");
    return QObject::event(e);
  }
};

TEST(GuardedApplication, ReportsAnExceptionThatEscapesAnEventHandler) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "GuardedApplicationTest";
  char* argv[] = {name, nullptr};
  GuardedApplication app(argc, argv);

  std::vector<std::string> reported;
  SetErrorHandler([&](const std::exception& e) { reported.push_back(e.what()); });
  ThrowingObject target;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "handler failed");

  // The program goes on: later events are delivered as usual.
  QEvent later(QEvent::User);
  QCoreApplication::sendEvent(&target, &later);
  EXPECT_EQ(reported.size(), 2u);
  SetErrorHandler(nullptr);
}

}  // namespace
}  // namespace tindrel
