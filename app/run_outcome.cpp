#include "app/run_outcome.h"

namespace {

// In RunOutcome's order. 1641 is Windows Installer's code for a restart it
// started; 1925 its code for missing administrator rights.
const OutcomeCode kCodes[] = {
    {0, 0, "success, nothing left to do"},
    {3010, 3, "success, a restart is needed for the revised fonts to take effect"},
    {1641, 9, "success, the restart was started"},
    {1602, 4, "cancelled by the user"},
    {1603, 1, "a font could not be revised"},
    {1618, 5, "another instance of the program is running"},
    {1620, 6, "the package the program carries is damaged"},
    {1633, 7, "this system's version is not one the program runs on"},
    {1925, 8, "administrator rights are needed"},
    {1639, 2, "bad command line"},
};

}  // namespace

const OutcomeCode& CodeOf(RunOutcome outcome) { return kCodes[static_cast<int>(outcome)]; }
