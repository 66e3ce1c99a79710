#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

// Reusable objects handed out lowest address first. The pool grows when it runs dry and never
// shrinks; an object goes back reset to its default state. All methods are safe from any thread.
template <class T>
class ObjectPool {
public:
    explicit ObjectPool(std::size_t initialCount) {
        for (std::size_t i = 0; i < initialCount; ++i) {
            allList.push_back(std::make_unique<T>());
            freeSet.insert(allList.back().get());
        }
    }
    ObjectPool(const ObjectPool&) = delete;
    ObjectPool& operator=(const ObjectPool&) = delete;

    T* Acquire() {
        std::lock_guard guard(poolLock);
        if (freeSet.empty()) {
            allList.push_back(std::make_unique<T>());
            return allList.back().get();
        }
        T* object = *freeSet.begin();
        freeSet.erase(freeSet.begin());
        return object;
    }

    // Releasing an object that is already free has no effect.
    void Release(T* object) {
        std::lock_guard guard(poolLock);
        if (object == nullptr || freeSet.count(object) != 0) {
            return;
        }
        *object = T{};
        freeSet.insert(object);
    }

    std::size_t Size() {
        std::lock_guard guard(poolLock);
        return allList.size();
    }

    bool IsFree(T* object) {
        std::lock_guard guard(poolLock);
        return freeSet.count(object) != 0;
    }

    std::size_t FreeCount() {
        std::lock_guard guard(poolLock);
        return freeSet.size();
    }

    // Calls visit for every object that is handed out; for teardown, when no other thread uses them.
    template <class Visit>
    void ForEachAcquired(Visit visit) {
        std::vector<T*> acquired;
        {
            std::lock_guard guard(poolLock);
            for (auto& object : allList) {
                if (freeSet.count(object.get()) == 0) {
                    acquired.push_back(object.get());
                }
            }
        }
        for (T* object : acquired) {
            visit(*object);
        }
    }

private:
    std::mutex poolLock;
    std::set<T*> freeSet;
    std::vector<std::unique_ptr<T>> allList;
};
