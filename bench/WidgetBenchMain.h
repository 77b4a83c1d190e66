#pragma once
// The main function of a benchmark program that needs widgets: an offscreen application around
// Google Benchmark's own run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>

namespace tindrel {

inline int RunWidgetBenchmarks(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tindrel
