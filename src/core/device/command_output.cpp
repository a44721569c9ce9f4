#include "core/device/command_output.h"

#include "core/device/open_device.h"

namespace dudorazu {

CommandOutput createCommandOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                                  const std::vector<CommandPath>& others) {
  std::vector<CommandPath> outputs = others;
  outputs.push_back(output);
  CommandOutput out;
  out.problem = outputProblem(inputs, outputs);
  if (out.problem.empty()) out.file = openDevice(output.path, OpenMode::CreateWrite);
  return out;
}

CommandOutput openCommandOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                                const std::vector<CommandPath>& others) {
  std::vector<CommandPath> outputs = others;
  outputs.push_back(output);
  CommandOutput out;
  out.problem = outputProblem(inputs, outputs);
  if (out.problem.empty()) out.file = openDevice(output.path, OpenMode::ReadWrite);
  return out;
}

bool writeWhole(SectorDevice& file, const std::string& bytes) {
  bool written = file.writeAt(0, bytes.data(), bytes.size()) == bytes.size();
  return file.flush() && written;
}

}  // namespace dudorazu
