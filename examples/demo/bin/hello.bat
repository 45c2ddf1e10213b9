echo Hello from the demo
