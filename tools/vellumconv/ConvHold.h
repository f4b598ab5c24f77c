#pragma once
// How many finished outputs a run may hold open while they wait for their commit.

#include <cstddef>

// Raises the soft open-file limit to the hard one, and tells how many files the held
// outputs may take: nReserve stay for whatever else the run opens.
std::size_t ConvHoldLimit(std::size_t nReserve);
