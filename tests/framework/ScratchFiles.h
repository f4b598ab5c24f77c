#pragma once
// Real files in a scratch folder of their own, removed with everything in it afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class ScratchDir
{
public:
    ScratchDir()
    {
        char tmpl[] = "/tmp/vellum-file-test.XXXXXX";
        m_path = ::mkdtemp(tmpl);
    }
    ~ScratchDir()
    {
        const std::string cmd = "chmod -R u+rwx '" + m_path + "' && rm -rf '" + m_path + "'";
        if (std::system(cmd.c_str()) != 0)
            ADD_FAILURE() << "could not remove " << m_path;
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    std::set<std::string> Entries() const { return Entries(m_path); }
    static std::set<std::string> Entries(const std::string& path)
    {
        std::set<std::string> names;
        if (DIR* d = ::opendir(path.c_str()))
        {
            while (dirent* e = ::readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.insert(e->d_name);
            ::closedir(d);
        }
        return names;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// A sticky folder everyone may write, as /tmp is: root's, inside a scratch folder nobody may
// enter.
inline std::string SharedFolder(const ScratchDir& dir)
{
    const std::string shared = dir / "shared";
    EXPECT_EQ(::mkdir(shared.c_str(), 0777), 0);
    EXPECT_EQ(::chmod(shared.c_str(), 01777), 0);
    EXPECT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    return shared;
}

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
