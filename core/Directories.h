#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

// True if path is a folder afterwards: an existing folder is kept, anything else at that path is removed
// and the folder is made with its missing parents. Never throws.
bool MakeDirectory(const std::string& path);

// Makes path a folder with its missing parents, replacing a file that stands in its way; an existing
// folder is left alone. Throws std::runtime_error "Could not create directory at <path>" on failure.
void EnsureDirectory(const boost::filesystem::path& path);
