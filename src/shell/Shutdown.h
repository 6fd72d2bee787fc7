#pragma once
// Orderly end of a run: every worker is asked to stop, then joined, on the UI thread. Workers
// waiting for the UI thread give up once asked to stop, so the joins cannot deadlock.

namespace vireon {

void StopWorkers();

}  // namespace vireon
