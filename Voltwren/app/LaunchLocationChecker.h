#pragma once

class LaunchLocationPlatform;

// Runs first at launch: a package started from a translocated or read-only
// location offers to move itself into the Applications folder and restarts
// from there, or quits. It never lets the program go on from such a place.
namespace LaunchLocationChecker {

// Returns only when no move is needed; otherwise ends the process (status 0).
void checkLocationAtLaunch();
bool needsMove();
// Ends the process, whether the move worked or not.
void moveToApplicationsAndRelaunch();

// The same on a given platform. Where its exit returns (a simulated one),
// these return right after it.
void checkLocationAtLaunch(LaunchLocationPlatform& platform);
bool needsMove(const LaunchLocationPlatform& platform);
void moveToApplicationsAndRelaunch(LaunchLocationPlatform& platform);

} // namespace LaunchLocationChecker
