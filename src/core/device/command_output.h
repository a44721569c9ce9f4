#pragma once
// Every file a command writes beside the files of a save (a table backup, a
// report, an image file, a map file) is created here and nowhere else, so
// no command can make one without the rule of outputProblem. The files of a
// save land in a target folder that the save's start has checked.
#include <memory>
#include <string>
#include <vector>

#include "core/device/command_paths.h"
#include "platform/sector_device.h"

namespace dudorazu {

struct CommandOutput {
  std::unique_ptr<SectorDevice> file;  // created or emptied, open for writing
  std::string problem;                 // why the rule refused it; nothing was touched then
};

// Creates `output`, emptying a file of that name, once outputProblem has
// passed it and `others` (the command's other outputs) against `inputs`.
// Neither a file nor a problem: the system would not create it.
CommandOutput createCommandOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                                  const std::vector<CommandPath>& others = {});

// Opens the existing file `output` for writing in place (a copy that goes
// on where it stopped), under the same rule; nothing is emptied.
CommandOutput openCommandOutput(const CommandPath& output, const std::vector<CommandPath>& inputs,
                                const std::vector<CommandPath>& others = {});

// Writes `bytes` from the start of `file` and makes them durable; false
// when any of it failed.
bool writeWhole(SectorDevice& file, const std::string& bytes);

}  // namespace dudorazu
