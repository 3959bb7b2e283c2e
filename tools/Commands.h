// The tool's commands: one table entry each, with its help, and the functions that run them.
#pragma once

#include "CommandLine.h"
#include "Console.h"
#include "Session.h"

#include <vector>

namespace uvccamctl {

// Reads its arguments (refusing bad ones before touching a device), does its work and
// returns the exit status.
using CommandFunction = int (*)(Session& session, Arguments& arguments);

struct Command {
    const char* name;
    const char* synopsis;  // the arguments, after the name
    const char* summary;   // one line for the overview
    const char* details;   // description, options and examples for "COMMAND --help"
    bool offersJson;
    bool alwaysSimulated;  // runs on the simulated devices even without --simulate
    CommandFunction run;
};

// A term and what it means: a global option with its value, an exit status, a way to call
// the tool. The text keeps the overview's line breaks; the manual page refills it.
struct HelpEntry {
    const char* term;
    const char* text;
};

// What the overview says besides the commands; the manual page is made from the same.
struct ToolHelp {
    const char* summary;  // one line, as in the manual's NAME
    std::vector<HelpEntry> usages;
    const char* globalOptionsNote;
    std::vector<HelpEntry> globalOptions;
    std::vector<HelpEntry> exitStatuses;
    std::vector<const char*> examples;
};

const ToolHelp& toolHelp();
const std::vector<Command>& commandTable();
const Command* findCommand(const QString& name);

void printOverview(Console& console);
void printCommandHelp(Console& console, const Command& command);

int runList(Session& session, Arguments& arguments);
int runInfo(Session& session, Arguments& arguments);
int runGet(Session& session, Arguments& arguments);
int runSet(Session& session, Arguments& arguments);
int runRange(Session& session, Arguments& arguments);
int runXu(Session& session, Arguments& arguments);
int runHid(Session& session, Arguments& arguments);
int runUac(Session& session, Arguments& arguments);
int runStream(Session& session, Arguments& arguments);
int runRecord(Session& session, Arguments& arguments);
int runVolume(Session& session, Arguments& arguments);
int runTransferMode(Session& session, Arguments& arguments);
int runWatch(Session& session, Arguments& arguments);
int runHotkeys(Session& session, Arguments& arguments);
int runDemo(Session& session, Arguments& arguments);

}  // namespace uvccamctl
