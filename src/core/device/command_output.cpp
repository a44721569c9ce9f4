#include "core/device/command_output.h"

#include "core/device/open_device.h"

namespace dudorazu {

namespace {

// The one rule, then the open in `mode`.
CommandOutput checkedOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                            const std::vector<CommandPath>& others, OpenMode mode) {
  std::vector<CommandPath> outputs = others;
  outputs.push_back(output);
  CommandOutput out;
  out.problem = outputProblem(inputs, outputs);
  if (out.problem.empty()) out.file = openDevice(output.path, mode);
  return out;
}

}  // namespace

CommandOutput createCommandOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                                  const std::vector<CommandPath>& others) {
  return checkedOutput(output, inputs, others, OpenMode::CreateWrite);
}

CommandOutput openCommandOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                                const std::vector<CommandPath>& others) {
  return checkedOutput(output, inputs, others, OpenMode::ReadWrite);
}

bool writeWhole(SectorDevice& file, const std::string& bytes) {
  bool written = file.writeAt(0, bytes.data(), bytes.size()) == bytes.size();
  return file.flush() && written;
}

}  // namespace dudorazu
