#pragma once
// What the run driver needs of the results list: the line stream, holding a file's lines
// back, and the output file. The list decides where a line goes: the held-back store while
// a file is undecided, else the visible list and the output file. The parts that work on
// one file (the scanner, the special operations, the replace writer) take only the stream.
#include "results/HeldBackStore.h"
#include "results/OutputFileSink.h"
#include "results/ResultStream.h"

namespace tw {

class ResultSink : public ResultStream, public HeldBackStore, public OutputFileSink {};

} // namespace tw
