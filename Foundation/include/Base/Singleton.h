#pragma once

namespace Base {

// Base class that forbids copying and moving.
class CNoncopyable
{
protected:
    CNoncopyable() = default;
    ~CNoncopyable() = default;

public:
    CNoncopyable(const CNoncopyable&) = delete;
    CNoncopyable& operator=(const CNoncopyable&) = delete;
};

// One process-wide instance of T, created on the first call of Instance()
// (thread-safe) and never destroyed: it stays usable until the process has
// ended, also from other objects' destructors and from exit handlers.
//
// T is either an ordinary default-constructible class:
//     Base::CSingleton<Foo>::Instance().bar();
// or derives from CSingleton<T> and keeps its constructors private:
//     class CFoo : public Base::CSingleton<CFoo>, public Base::CNoncopyable
//     {
//         friend class Base::CSingleton<CFoo>;
//     private:
//         CFoo();
//         ~CFoo();
//     };
//     CFoo::Instance().bar();
template <typename T>
class CSingleton
{
public:
    static T& Instance()
    {
        // A function-local static is initialised exactly once, even when
        // several threads arrive at the same time.
        static T* const instance = new T();
        return *instance;
    }

    CSingleton(const CSingleton&) = delete;
    CSingleton& operator=(const CSingleton&) = delete;

protected:
    CSingleton() = default;
    ~CSingleton() = default;
};

} // namespace Base
