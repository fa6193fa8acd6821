// The arguments every libFuzzer target of the program starts with: a longest input unless one is
// given, and a corpus folder beside the executable (NAME_corpus), seeded when no corpus is named.
// Called from LLVMFuzzerInitialize, once, before any input is run.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fuzzing {

// `maxLen` 0 leaves the fuzzer's own default. `seed` fills the corpus folder (it may be there
// already from an earlier run).
inline void addDefaultArguments(int* argc, char*** argv, int maxLen,
                                const std::function<void(const std::filesystem::path&)>& seed) {
    static std::vector<std::string> storage;
    static std::vector<char*> args;
    bool hasCorpus = false, hasMaxLen = false;
    for (int i = 1; i < *argc; ++i) {
        const std::string a = (*argv)[i];
        hasMaxLen = hasMaxLen || a.rfind("-max_len=", 0) == 0;
        hasCorpus = hasCorpus || (!a.empty() && a[0] != '-');
    }
    for (int i = 0; i < *argc; ++i) storage.emplace_back((*argv)[i]);
    if (maxLen > 0 && !hasMaxLen) storage.push_back("-max_len=" + std::to_string(maxLen));
    if (!hasCorpus) {
        const auto exe = std::filesystem::absolute((*argv)[0]);
        const auto corpus = exe.parent_path() / (exe.filename().string() + "_corpus");
        seed(corpus);
        storage.push_back(corpus.string());
    }
    for (auto& s : storage) args.push_back(s.data());
    args.push_back(nullptr);
    *argc = int(storage.size());
    *argv = args.data();
}

}  // namespace fuzzing
