#include "faults.h"

namespace standin {

std::optional<Fault> Fault::fromJson(const nlohmann::json& j, std::string& error) {
    if (!j.is_object()) {
        error = "a fault is a JSON object";
        return std::nullopt;
    }
    Fault f;
    for (const auto& [key, value] : j.items()) {
        const auto text = [&](std::string& out) {
            if (!value.is_string()) return false;
            out = value.get<std::string>();
            return true;
        };
        const auto number = [&](int& out, int min, int max) {
            if (!value.is_number_integer() || value.get<long long>() < min || value.get<long long>() > max) return false;
            out = value.get<int>();
            return true;
        };
        bool ok;
        if (key == "path") ok = text(f.path);
        else if (key == "role") ok = text(f.role);
        else if (key == "method") ok = text(f.method);
        else if (key == "status") ok = number(f.status, 100, 599);
        else if (key == "body") ok = text(f.body);
        else if (key == "contentType") ok = text(f.contentType);
        else if (key == "delayMs") ok = number(f.delayMs, 0, 600000);
        else if (key == "drop") ok = value.is_boolean() && ((f.drop = value.get<bool>()), true);
        else if (key == "zip") ok = text(f.zip) && (f.zip == "one" || f.zip == "three" || f.zip == "corrupt");
        else if (key == "pages") ok = number(f.pages, 0, 1000000);
        else if (key == "eroare") ok = text(f.eroare);
        else if (key == "times") ok = number(f.times, 1, 1000000000);
        else {
            error = "unknown fault member \"" + key + "\"";
            return std::nullopt;
        }
        if (!ok) {
            error = "bad value for fault member \"" + key + "\"";
            return std::nullopt;
        }
    }
    if (f.path.empty() || f.path[0] != '/') {
        error = "a fault needs \"path\", the start of a request path (\"/prod/FCTEL/rest/descarcare\")";
        return std::nullopt;
    }
    return f;
}

nlohmann::json Fault::toJson() const {
    nlohmann::json j = {{"path", path}, {"times", times}};
    if (!role.empty()) j["role"] = role;
    if (!method.empty()) j["method"] = method;
    if (status) j["status"] = status;
    if (!body.empty()) j["body"] = body;
    if (!contentType.empty()) j["contentType"] = contentType;
    if (delayMs) j["delayMs"] = delayMs;
    if (drop) j["drop"] = true;
    if (!zip.empty()) j["zip"] = zip;
    if (pages) j["pages"] = pages;
    if (!eroare.empty()) j["eroare"] = eroare;
    return j;
}

void FaultQueue::push(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

std::optional<Fault> FaultQueue::take(const std::string& role, const std::string& method, const std::string& path) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (path.rfind(it->path, 0) != 0) continue;
        if (!it->role.empty() && it->role != role) continue;
        if (!it->method.empty() && it->method != method) continue;
        Fault hit = *it;
        if (--it->times <= 0) faults_.erase(it);
        return hit;
    }
    return std::nullopt;
}

nlohmann::json FaultQueue::list() const {
    std::lock_guard lock(mutex_);
    nlohmann::json out = nlohmann::json::array();
    for (const auto& f : faults_) out.push_back(f.toJson());
    return out;
}

void FaultQueue::clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

}  // namespace standin
