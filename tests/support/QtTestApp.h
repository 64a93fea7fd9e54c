// One QApplication for every widget test of a test program: created before the first test,
// destroyed after the last. Including this header is enough; the inline variable registers
// the environment once per program, however many files include it.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>

#include <memory>

namespace kelta::test {

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Widget tests never need a screen; ctest sets this too, a direct run may not.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kelta_widget_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace kelta::test
