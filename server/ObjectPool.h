#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Reusable objects handed out lowest address first. The pool grows when it runs dry and never
// shrinks; an object goes back reset to its default state. All methods are safe from any thread.
// The free objects are kept in a vector sorted by falling address, its capacity that of every object
// made: once warm, Acquire and Release allocate nothing.
template <class T>
class ObjectPool {
public:
    explicit ObjectPool(std::size_t initialCount) {
        for (std::size_t i = 0; i < initialCount; ++i) {
            allList.push_back(std::make_unique<T>());
            freeList.push_back(allList.back().get());
        }
        std::sort(freeList.begin(), freeList.end(), std::greater<T*>());
    }
    ObjectPool(const ObjectPool&) = delete;
    ObjectPool& operator=(const ObjectPool&) = delete;

    T* Acquire() {
        std::lock_guard guard(poolLock);
        if (freeList.empty()) {
            allList.push_back(std::make_unique<T>());
            freeList.reserve(allList.size());
            return allList.back().get();
        }
        T* object = freeList.back();
        freeList.pop_back();
        return object;
    }

    // Releasing an object that is already free has no effect.
    void Release(T* object) {
        std::lock_guard guard(poolLock);
        if (object == nullptr) {
            return;
        }
        auto at = std::lower_bound(freeList.begin(), freeList.end(), object, std::greater<T*>());
        if (at != freeList.end() && *at == object) {
            return;
        }
        *object = T{};
        freeList.insert(at, object);
    }

    std::size_t Size() {
        std::lock_guard guard(poolLock);
        return allList.size();
    }

    std::size_t AcquiredCount() {
        std::lock_guard guard(poolLock);
        return allList.size() - freeList.size();
    }

    bool IsFree(T* object) {
        std::lock_guard guard(poolLock);
        return IsFreeLocked(object);
    }

    std::size_t FreeCount() {
        std::lock_guard guard(poolLock);
        return freeList.size();
    }

    // Calls visit for every object that is handed out; for teardown, when no other thread uses them.
    template <class Visit>
    void ForEachAcquired(Visit visit) {
        std::vector<T*> acquired;
        {
            std::lock_guard guard(poolLock);
            for (auto& object : allList) {
                if (!IsFreeLocked(object.get())) {
                    acquired.push_back(object.get());
                }
            }
        }
        for (T* object : acquired) {
            visit(*object);
        }
    }

private:
    bool IsFreeLocked(T* object) const {
        return std::binary_search(freeList.begin(), freeList.end(), object, std::greater<T*>());
    }

    std::mutex poolLock;
    std::vector<T*> freeList;  // guarded by poolLock, sorted by falling address
    std::vector<std::unique_ptr<T>> allList;
};
