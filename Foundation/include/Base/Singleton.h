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
//
// A class reached from several libraries declares its Instance() with
// TAVRIN_SINGLETON_SHARED(T) after the class and defines it with
// TAVRIN_SINGLETON_DEFINE(T) in its own library: otherwise each Windows DLL
// would make its own copy of the template's static, and so its own instance.
template <typename T>
class CSingleton
{
public:
    static T& Instance() { return createInstance(); }

    CSingleton(const CSingleton&) = delete;
    CSingleton& operator=(const CSingleton&) = delete;

protected:
    CSingleton() = default;
    ~CSingleton() = default;

    static T& createInstance()
    {
        // A function-local static is initialised exactly once, even when
        // several threads arrive at the same time.
        static T* const instance = new T();
        return *instance;
    }
};

} // namespace Base

// Both at global scope, with the class's qualified name.
#define TAVRIN_SINGLETON_SHARED(T)                                                                                     \
    template <>                                                                                                        \
    T& ::Base::CSingleton<T>::Instance();
#define TAVRIN_SINGLETON_DEFINE(T)                                                                                     \
    template <>                                                                                                        \
    T& ::Base::CSingleton<T>::Instance()                                                                               \
    {                                                                                                                  \
        return createInstance();                                                                                       \
    }
