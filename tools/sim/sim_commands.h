// The commands of boardkit-sim that work on one area of the machine.
#pragma once
#include <string>
#include <vector>

namespace tools {
// `reg import FILE` and `reg export FILE [KEY]`; returns the exit code.
int RegCommand(const std::vector<std::string>& args);
// Prints the area `what` ("registry", "files", or "all" for every area); false if unknown.
bool ShowAreas(const std::string& what);
// `device plug|arrive|unplug|remove ...`; returns the exit code.
int DeviceCommand(const std::vector<std::string>& args);
// Prints every device node: instance ID, presence, problem, IDs, location, InfPath.
void ShowDevices();
// `device resources ID [--io FIRST-LAST]... [--irq N]... [--dma N]...`; the exit code.
int ResourcesCommand(const std::vector<std::string>& args);
// "io 0x300-0x31F, irq 5" for a node ("" when it holds nothing), and every node's as a list.
std::string DescribeNodeResources(const std::string& instanceId);
void ShowResources();
// `file write C:\PATH TEXT`: creates the file (and its folders) with the text.
int FileCommand(const std::vector<std::string>& args);
// Prints the system certificate stores and the certificates each holds.
void ShowCertificates();
// Prints the shutdown request the machine holds, with its reason code.
void ShowShutdown();
// `record add N [--value NAME=TYPE:DATA]...`, `record show`, `record delete N`: the
// framework's records; `map add N HEX`, `map delete N`, `map show`: its MapEntry values.
int RecordCommand(const std::vector<std::string>& args);
int MapCommand(const std::vector<std::string>& args);
// `new [--preset large] [--devices N] ... DIR`: a generated large machine (see generate.h).
bool IsGenerateRequest(const std::vector<std::string>& args);
int NewGeneratedImage(const std::vector<std::string>& args);
// `process start|stop ...`, `wizard start [ID]`, `tray remove|restore`; and the processes,
// windows with tray icons, and timer firings of the journal.
int ProcessCommand(const std::vector<std::string>& args);
int WizardCommand(const std::vector<std::string>& args);
int TrayCommand(const std::vector<std::string>& args);
void ShowProcesses();
void ShowWindows();
void ShowTimers();
// `dialog script add select CONTROL_ID INDEX | press BUTTON_ID`, `dialog script clear`;
// and the script with what the last dialog showed.
int DialogCommand(const std::vector<std::string>& args);
void ShowDialog();
}  // namespace tools
