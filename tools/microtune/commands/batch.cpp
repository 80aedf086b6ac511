#include "commands/batch.h"

#include <cstdlib>
#include <exception>

#include "host_error.h"

namespace mthost {

BatchResult RunBatchWork(size_t index, const std::function<BatchResult(size_t)> &work) {
    try {
        return work(index);
    } catch (const HostError &e) {
        return BatchResult{false, 0, e.what()};
    } catch (const std::exception &e) {
        return BatchResult{false, 0, e.what()};
    }
}

// "O" or "E", the count, a newline, then the text.
std::string EncodeBatchResult(const BatchResult &result) {
    return std::string(result.ok ? "O" : "E") + std::to_string(result.count) + "\n" + result.text;
}

bool DecodeBatchResult(const std::string &data, BatchResult *result) {
    const size_t newline = data.find('\n');
    if (data.size() < 2 || newline == std::string::npos || (data[0] != 'O' && data[0] != 'E'))
        return false;
    result->ok = data[0] == 'O';
    result->count = std::atoll(data.c_str() + 1);
    result->text = data.substr(newline + 1);
    return true;
}

}  // namespace mthost
