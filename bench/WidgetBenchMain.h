#pragma once
// The main function of a benchmark program that needs widgets: an offscreen application around
// Google Benchmark's own run, started with the heap paged as the program starts with it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>

#include "app/HeapPages.h"

namespace tindrel {

inline int RunWidgetBenchmarks(int argc, char** argv) {
  RestartWithHeapPages(argv);  // the heap paged as the program's own
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tindrel
