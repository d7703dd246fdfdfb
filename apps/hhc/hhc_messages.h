// Every sentence hhc.exe prints, in Chinese. The compiler library hands back what went wrong as
// data; this is the one place that words it.
#pragma once

#include <hhp/compile.h>
#include <hhp/diagnostics.h>
#include <string>
#include <vector>

namespace hhc {

// "file:line: 警告：message", the form compilers print.
std::string diagnosticLine(const hhp::Diagnostic& diagnostic);

// The text of one progress step.
std::string progressLine(hhp::Step step, const std::vector<std::string>& args);

} // namespace hhc
