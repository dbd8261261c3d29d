// A fresh folder under /tmp for the life of the object. Every folder of one test program
// starts with the same prefix (it holds the process id), so that the cleanup after each
// test finds loop devices and mounts made over files of this program and of no other.
#pragma once

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();   // unmounts and detaches what lies in the folder, then removes it
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// "/tmp/bw-test-<pid>-": the start of every TempFolder of this process.
std::string TempFolderPrefix();

// The working folder for the life of the object (the cleanup after each test restores it
// in any case).
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::string m_previous;
};
