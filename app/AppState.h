#pragma once

// The steps of the guided update. The main screen keeps the current one as an int, so
// values outside 0 to 13 can be stored (and are then shown as an empty panel).
enum AppState : int
{
    Welcome = 0,
    ConnectInstructions = 1,
    Part1Waiting = 2,
    Part1UnableToConnect = 3,
    Part1WrongBootloader = 4,
    Part1WrongDevice = 5,
    Part1Updating = 6,
    Part1Done = 7,
    Part2Waiting = 8,
    Part2UnableToConnect = 9,
    Part2WrongBootloader = 10,
    Part2WrongDevice = 11,
    Part2Updating = 12,
    AllDone = 13
};
