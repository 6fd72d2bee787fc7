#pragma once
// Orderly end of a run: every worker is asked to stop, then joined, on the UI thread. Workers
// waiting for the UI thread give up once asked to stop, so the joins cannot deadlock. The log
// writers are finished afterwards by their owner, once no packet can reach them any more.

namespace vireon {

void StopWorkers();

}  // namespace vireon
