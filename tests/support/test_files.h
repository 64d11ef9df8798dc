// Files and folders that tests make, look at and clean away.
#pragma once

#include <string>

bool IsFile(const std::string& path);
bool IsFolder(const std::string& path);
// Replaces the file's content with exactly these bytes.
void WriteWholeFile(const std::string& path, const std::string& bytes);
// Deletes a folder with everything in it; a missing folder is fine.
void RemoveFolderTree(const std::string& folder);
